// The serial line the simulated console talks on: a pseudo-terminal of its own with a link to its
// terminal side, or an existing serial device, both at 9600 baud, 8 data bits, no parity, one
// stop bit. Bytes go out paced like the wire.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "station/bytes.h"

namespace ombrix::sim {

// Time a byte takes on the wire at 9600 baud with a start bit, 8 data bits and a stop bit.
constexpr double kByteSeconds = 10.0 / 9600.0;

// True once the run is to end (set from a signal handler); every wait checks it.
using StopFlag = std::function<bool()>;

// Monotonic seconds.
double MonotonicNow();

// Waits until the monotonic time `deadline`; false when stopped first.
bool SleepUntil(double deadline, const StopFlag& stopped);

// Where the link goes when no --link is given: $XDG_RUNTIME_DIR/ombrix-station, else
// /tmp/ombrix-station-<uid>.
std::string DefaultLinkPath();

class Line {
  public:
    virtual ~Line() = default;

    // Called before each burst: drops what a reader has not taken, as a line with nobody
    // listening would.
    virtual void BeforeBurst() {}

    // Writes the bytes a few at a time, paced at the wire's speed. False when stopped; raises
    // std::system_error when the line fails.
    bool Send(BytesView bytes, const StopFlag& stopped);

    // What a reader opens, for the start-up message.
    virtual std::string Describe() const = 0;

  protected:
    explicit Line(int fd) : fd_(fd) {}
    int fd_;

  private:
    bool WriteAll(BytesView bytes, const StopFlag& stopped);
};

// A new pseudo-terminal with a symbolic link at `linkPath` to its terminal side. A link left
// behind by a killed simulator (one that leads nowhere) is replaced; anything else at the path is
// left alone and the call fails. The link is removed when the line is destroyed. Raises
// std::runtime_error with a message for the user.
std::unique_ptr<Line> OpenPseudoTerminal(const std::string& linkPath);

// An existing serial device, set to 9600 8N1 raw. Raises std::runtime_error with a message for
// the user.
std::unique_ptr<Line> OpenDevice(const std::string& path);

}  // namespace ombrix::sim
