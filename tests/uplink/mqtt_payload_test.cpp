// What goes to the MQTT broker: the state object, the node name and Home Assistant's configs.
#include <gtest/gtest.h>

#include <string>

#include "uplink/mqtt_payload.h"

namespace ombrix {
namespace {

constexpr std::int64_t kAt = 1796640750;  // 2026-12-07 10:52:30 UTC

Quantity Q(double value, QuantityState state = QuantityState::Valid) {
    return {value, state};
}

// Not set: not decoded.
TEST(Mqtt, StateNumbersAsTheTableShowsThemUnknownAsNull) {
    StationReading r;
    r.OutdoorTemperature = Q(-0.04);  // shows as 0.0, no minus sign
    r.IndoorTemperature = Q(21.35);
    r.OutdoorHumidity = Q(91, QuantityState::OutOfRange);
    r.SeaLevelPressure = Q(1015.3);
    r.MeanSpeed = Q(2.8);  // 10.08 km/h
    r.GustSpeed = Q(30, QuantityState::OutOfRange);
    r.MeanDirection = Q(205);
    r.RainSinceReset = Q(1234);
    r.OnBattery = {false, QuantityState::Valid};  // on the mains
    EXPECT_EQ(MqttState(r, kAt),
              "{\"time\":\"2026-12-07T10:52:30Z\",\"outTemp\":0.0,\"inTemp\":21.4,"
              "\"outHumidity\":null,\"inHumidity\":null,\"dewpoint\":null,\"inDewpoint\":null,"
              "\"barometer\":1015.3,\"pressure\":null,\"windSpeed\":10.1,\"windGust\":null,"
              "\"windDir\":205,\"windGustDir\":null,\"windchill\":null,\"rainHour\":null,"
              "\"rainToday\":null,\"rainTotal\":1234,\"batteryLow\":null,\"mainsPower\":true}");
}

TEST(Mqtt, NodeName) {
    const std::pair<const char*, const char*> rows[] = {
        {"ombrix", "ombrix"},
        {"haus/wetter station", "haus_wetter_station"},
        {"Wetter-Süd_2", "Wetter-S_d_2"},  // one character, two bytes
    };
    for (const auto& [base, node] : rows) EXPECT_EQ(MqttNode(base), node) << base;
}

TEST(Mqtt, DiscoveryConfigs) {
    const std::vector<MqttMessage> configs = MqttDiscovery("homeassistant", "haus/wx", "0.1.0");
    ASSERT_EQ(configs.size(), 18U);
    const std::string device =
        "\"device\":{\"identifiers\":[\"haus_wx\"],\"name\":\"Ombrix Wetterstation\","
        "\"model\":\"Wetterstation an der seriellen Schnittstelle\",\"manufacturer\":\"Ombrix\","
        "\"sw_version\":\"0.1.0\"}}";
    EXPECT_EQ(configs[0].Topic, "homeassistant/sensor/haus_wx/outTemp/config");
    EXPECT_EQ(configs[0].Payload,
              "{\"name\":\"Temperatur außen\",\"unique_id\":\"haus_wx_outTemp\","
              "\"state_topic\":\"haus/wx/state\",\"availability_topic\":\"haus/wx/status\","
              "\"value_template\":\"{{ value_json.outTemp }}\",\"unit_of_measurement\":\"°C\","
              "\"device_class\":\"temperature\",\"state_class\":\"measurement\"," +
                  device);
    EXPECT_EQ(configs[16].Topic, "homeassistant/binary_sensor/haus_wx/batteryLow/config");
    EXPECT_EQ(configs[16].Payload,
              "{\"name\":\"Batterie\",\"unique_id\":\"haus_wx_batteryLow\","
              "\"state_topic\":\"haus/wx/state\",\"availability_topic\":\"haus/wx/status\","
              "\"value_template\":\"{{ value_json.batteryLow }}\",\"payload_on\":\"True\","
              "\"payload_off\":\"False\",\"device_class\":\"battery\"," +
                  device);
    // Directions have no device class; the counter since the reset only grows.
    EXPECT_EQ(configs[10].Payload.find("device_class"), std::string::npos) << configs[10].Topic;
    EXPECT_NE(configs[15].Payload.find("\"state_class\":\"total_increasing\""), std::string::npos);
}

}  // namespace
}  // namespace ombrix
