// What MQTT costs the window's thread per station set: the state object composed and published
// (QoS 1, retained), and the broker's acknowledgement read when it comes, all on this thread as in
// the window. Starts Debian's mosquitto on a free port of 127.0.0.1 for the run; CPU time is the
// figure, the wall time includes the round trip to the broker.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cstdio>

#include "mqtt/mqtt_link.h"

namespace {

ombrix::StationReading SomeReading() {
    ombrix::StationReading r;
    for (ombrix::Quantity* q : {&r.OutdoorTemperature, &r.IndoorTemperature, &r.OutdoorHumidity,
                                &r.SeaLevelPressure, &r.MeanSpeed, &r.GustSpeed, &r.RainToday})
        *q = {12.3, ombrix::QuantityState::Valid};
    return r;
}

void BM_MqttStatePerSet(benchmark::State& state) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QTemporaryDir dir;
    QFile conf(dir.filePath("mosquitto.conf"));
    if (!conf.open(QIODevice::WriteOnly)) return state.SkipWithError("no config");
    conf.write("listener " + QByteArray::number(port) + " 127.0.0.1\nallow_anonymous true\n");
    conf.close();
    QProcess broker;
    broker.start("mosquitto", {"-c", conf.fileName()});
    ombrix::MqttSettings settings;
    settings.Host = "127.0.0.1";
    settings.Port = port;
    settings.FirstBackoffMs = 50;
    ombrix::MqttLink link(settings, [](const std::string&) {});
    link.Start();
    for (QDeadlineTimer deadline(5000); !link.IsConnected() && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!link.IsConnected()) return state.SkipWithError("no broker");
    const ombrix::StationReading reading = SomeReading();
    std::int64_t utc = 1796640750;
    for (auto _ : state) {
        link.Reading(reading, ++utc);
        // The acknowledgement, as the window's event loop reads it.
        QCoreApplication::processEvents();
    }
    link.Close();
    broker.terminate();
    broker.waitForFinished(3000);
}
BENCHMARK(BM_MqttStatePerSet)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
