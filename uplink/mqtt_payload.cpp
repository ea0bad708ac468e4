#include "uplink/mqtt_payload.h"

#include "station/clock.h"
#include "station/primitives.h"

namespace ombrix {

namespace {

struct Sensor {
    const char* Field;
    const char* Name;  // as the table's row
    const char* Unit;
    const char* DeviceClass;  // empty: none
    Quantity StationReading::*Reading;
    NumberPattern Decimals;
    double Factor = 1;
};

const Sensor kSensors[] = {
    {"outTemp", "Temperatur außen", "°C", "temperature", &StationReading::OutdoorTemperature,
     "0.0"},
    {"inTemp", "Temperatur innen", "°C", "temperature", &StationReading::IndoorTemperature, "0.0"},
    {"outHumidity", "Luftfeuchte außen", "%", "humidity", &StationReading::OutdoorHumidity, "0"},
    {"inHumidity", "Luftfeuchte innen", "%", "humidity", &StationReading::IndoorHumidity, "0"},
    {"dewpoint", "Taupunkt außen", "°C", "temperature", &StationReading::OutdoorDewPoint, "0"},
    {"inDewpoint", "Taupunkt innen", "°C", "temperature", &StationReading::IndoorDewPoint, "0"},
    {"barometer", "Luftdruck NN", "hPa", "atmospheric_pressure", &StationReading::SeaLevelPressure,
     "0.0"},
    {"pressure", "Luftdruck", "hPa", "atmospheric_pressure", &StationReading::Pressure, "0"},
    {"windSpeed", "Wind Mittel", "km/h", "wind_speed", &StationReading::MeanSpeed, "0.0",
     kKmhPerMetrePerSecond},
    {"windGust", "Wind Spitzen", "km/h", "wind_speed", &StationReading::GustSpeed, "0.0",
     kKmhPerMetrePerSecond},
    {"windDir", "Windrichtung Mittel", "°", "", &StationReading::MeanDirection, "0"},
    {"windGustDir", "Windrichtung Spitzen", "°", "", &StationReading::GustDirection, "0"},
    {"windchill", "gefühlte Temp.", "°C", "temperature", &StationReading::WindChill, "0"},
    {"rainHour", "Regenmenge/Std.", "mm", "precipitation", &StationReading::RainHour, "0"},
    {"rainToday", "Regen heute", "mm", "precipitation", &StationReading::RainToday, "0"},
    {"rainTotal", "Regen seit Reset", "mm", "precipitation", &StationReading::RainSinceReset, "0"},
};

struct Flag {
    const char* Field;
    const char* Name;
    const char* DeviceClass;
};
const Flag kFlags[] = {
    {"batteryLow", "Batterie", "battery"},       // on: the battery is low
    {"mainsPower", "Stromversorgung", "power"},  // on: the console runs on the mains
};

// A JSON string: quotes, backslashes and control characters escaped; other bytes as they are
// (the texts here are UTF-8).
std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[(c >> 4) & 0xF];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Member(std::string_view key, std::string_view json) {
    return Quoted(key) + ":" + std::string(json);
}

std::string IsoTime(std::int64_t utc) {
    const LocalTime t = UtcTimeAt(utc);
    return ZeroFilled(t.Year, 4) + "-" + TwoDigits(t.Month) + "-" + TwoDigits(t.Day) + "T" +
           TwoDigits(t.Hour) + ":" + TwoDigits(t.Minute) + ":" + TwoDigits(t.Second) + "Z";
}

}  // namespace

Bytes MqttState(const StationReading& r, std::int64_t utc) {
    std::string json = "{" + Member("time", Quoted(IsoTime(utc)));
    for (const Sensor& s : kSensors) {
        const Quantity& q = r.*s.Reading;
        json += "," + Member(s.Field, q.State == QuantityState::Valid
                                          ? FormatNumber(q.Value * s.Factor, s.Decimals, ".")
                                          : "null");
    }
    const auto flag = [](const Indication& i, bool on) {
        return i.State == QuantityState::NotDecoded ? "null" : (on ? "true" : "false");
    };
    json += "," + Member("batteryLow", flag(r.BatteryLow, r.BatteryLow.Value));
    json += "," + Member("mainsPower", flag(r.OnBattery, !r.OnBattery.Value));
    return json + "}";
}

std::string MqttNode(std::string_view base) {
    std::string node;
    for (std::size_t i = 0; i < base.size(); ++i) {
        const char c = base[i];
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        node += kept ? c : '_';
        // A character of several UTF-8 bytes is one character.
        if (static_cast<unsigned char>(c) >= 0xC0)
            while (i + 1 < base.size() && (static_cast<unsigned char>(base[i + 1]) & 0xC0) == 0x80)
                ++i;
    }
    return node;
}

std::vector<MqttMessage> MqttDiscovery(std::string_view prefix, std::string_view base,
                                       std::string_view version) {
    const std::string node = MqttNode(base);
    const std::string b(base);
    const std::string device =
        "{" + Member("identifiers", "[" + Quoted(node) + "]") + "," +
        Member("name", Quoted("Ombrix Wetterstation")) + "," +
        Member("model", Quoted("Wetterstation an der seriellen Schnittstelle")) + "," +
        Member("manufacturer", Quoted("Ombrix")) + "," + Member("sw_version", Quoted(version)) +
        "}";
    const auto config = [&](const char* kind, const char* field, const char* name,
                            const std::string& rest) {
        std::string json = "{" + Member("name", Quoted(name)) + "," +
                           Member("unique_id", Quoted(node + "_" + field)) + "," +
                           Member("state_topic", Quoted(b + "/state")) + "," +
                           Member("availability_topic", Quoted(b + "/status")) + "," + rest +
                           Member("device", device) + "}";
        return MqttMessage{std::string(prefix) + "/" + kind + "/" + node + "/" + field + "/config",
                           json};
    };
    std::vector<MqttMessage> configs;
    for (const Sensor& s : kSensors) {
        std::string rest =
            Member("value_template", Quoted(std::string("{{ value_json.") + s.Field + " }}")) +
            "," + Member("unit_of_measurement", Quoted(s.Unit)) + ",";
        if (*s.DeviceClass != '\0') rest += Member("device_class", Quoted(s.DeviceClass)) + ",";
        const bool total = std::string_view(s.Field) == "rainTotal";
        rest += Member("state_class", Quoted(total ? "total_increasing" : "measurement")) + ",";
        configs.push_back(config("sensor", s.Field, s.Name, rest));
    }
    // Home Assistant renders a JSON boolean as "True" or "False", null as "None" (unknown).
    for (const Flag& f : kFlags) {
        const std::string rest =
            Member("value_template", Quoted(std::string("{{ value_json.") + f.Field + " }}")) +
            "," + Member("payload_on", Quoted("True")) + "," +
            Member("payload_off", Quoted("False")) + "," +
            Member("device_class", Quoted(f.DeviceClass)) + ",";
        configs.push_back(config("binary_sensor", f.Field, f.Name, rest));
    }
    return configs;
}

}  // namespace ombrix
