// What goes to an MQTT broker: the state of each station set as one JSON object, and Home
// Assistant's discovery configs that turn its fields into the sensors of one device. Pure C++;
// the broker's session lives in mqtt/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/station_reading.h"
#include "station/bytes.h"

namespace ombrix {

// The JSON object of `<base>/state`: "time" (UTC, ISO 8601 with Z), then the quantities as JSON
// numbers in the table's units (°C, %, hPa, km/h, degrees, mm) with the table's decimals, and
// the two indications as booleans; a quantity that is not valid (flagged out of range, not
// decoded) is null.
Bytes MqttState(const StationReading& reading, std::int64_t utc);

// The base topic with each character outside A-Z, a-z, 0-9, '_' and '-' replaced by '_': the
// node of the discovery topics and the stem of the unique ids.
std::string MqttNode(std::string_view base);

struct MqttMessage {
    std::string Topic;
    std::string Payload;
};

// One retained config per field at `<prefix>/<component>/<node>/<field>/config`: a sensor for
// each quantity, a binary_sensor for the battery and the mains power, all of one device.
std::vector<MqttMessage> MqttDiscovery(std::string_view prefix, std::string_view base,
                                       std::string_view version);

}  // namespace ombrix
