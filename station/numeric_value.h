// The number a settings text or an SSID stands for, read the way the classic runtime's Val reads
// it, so that values stored by earlier versions keep their meaning.
#pragma once

#include "station/bytes.h"

namespace ombrix {

// The number at the start of the text, blanks, tabs and line feeds ignored wherever they stand
// ("1 2" is 12): a sign, digits, one decimal point, and an exponent with E or D when digits follow
// it; 0 for a text that does not start with a number. Too small for a double is 0, too large is
// infinity.
double NumericValue(BytesView text);

}  // namespace ombrix
