// A believable day of weather at a home station, and the console that measures it: a day's
// temperature cycle, humidity moving against it, slowly drifting pressure with the trend and
// forecast that follow from it, wind with gusts and a wandering direction, rain showers, and the
// console's clock and stored extremes. Repeatable for a given seed and start time.
#pragma once

#include <cstdint>
#include <deque>
#include <random>

#include "station/clock.h"
#include "tools/sim/station_values.h"

namespace ombrix::sim {

// The console's wall-clock time in seconds since 1970-01-01 00:00, without a time zone: the
// console knows neither zones nor daylight saving.
using ConsoleTime = std::int64_t;

ConsoleTime ToConsoleTime(const LocalTime& t);
LocalTime ToCivil(ConsoleTime t);

// A seeded source of randomness. The engine's sequence is fixed by the language; the uniform and
// normal numbers are drawn here, so a seed gives the same weather with every standard library.
class Random {
  public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    double Uniform();  // [0, 1)
    double Normal();   // mean 0, deviation 1

  private:
    std::mt19937_64 engine_;
    bool haveSpare_ = false;
    double spare_ = 0.0;
};

// The weather as the model has it, in physical units: what the console's readings stand for.
struct Weather {
    ConsoleTime Time = 0;
    double OutdoorTemperature = 0.0;  // °C
    double IndoorTemperature = 0.0;
    double OutdoorHumidity = 0.0;  // percent
    double IndoorHumidity = 0.0;
    double OutdoorDewPoint = 0.0;  // °C, Magnus formula from temperature and humidity
    double IndoorDewPoint = 0.0;
    double SeaLevelPressure = 0.0;  // mb
    double LocalPressure = 0.0;
    double PressureChange3h = 0.0;  // mb over the last three hours
    double MeanWind = 0.0;          // m/s
    double Gust = 0.0;
    double MeanDirection = 0.0;  // degrees, [0, 360)
    double GustDirection = 0.0;
    double WindChill = 0.0;     // °C
    double RainRate = 0.0;      // mm/h, 0 when dry
    double RainLastHour = 0.0;  // mm
    double RainToday = 0.0;
    double RainSinceReset = 0.0;
};

// Dew point in °C for a temperature in °C and a relative humidity in percent (Magnus formula,
// over water).
double DewPoint(double temperature, double humidity);

// Wind chill in °C for a temperature in °C and a wind in km/h; the temperature itself where the
// formula does not apply (above 10 °C or in calm air).
double WindChill(double temperature, double windKmh);

class WeatherModel {
  public:
    WeatherModel(std::uint64_t seed, ConsoleTime start);

    // Lets simulated time run on; the console samples the weather at least once a minute.
    void Advance(double seconds);

    const Weather& Now() const { return weather_; }
    // What the console sends now, its stored extremes included.
    const StationValues& Station() const { return station_; }

  private:
    // Moves the weather on by dt seconds of simulated time.
    void Evolve(double dt);
    // The weather and the console's current readings from the model's state.
    void Derive();
    void UpdateConsole(bool first);

    Random random_;
    double time_ = 0.0;  // console time, with fractions of a second

    // Slowly and quickly varying parts of the weather (deviations from the climate).
    double airMass_ = 0.0;  // °C
    double temperatureNoise_ = 0.0;
    double dryness_ = 0.0;  // dew point depression anomaly, °C
    double wetness_ = 0.0;  // 1 during rain, fading afterwards
    double indoorTemperature_ = 21.0;
    double indoorHumidityNoise_ = 0.0;
    double pressure_ = 1013.0;                               // sea level, mb
    double pressureRate_ = 0.0;                              // mb per hour
    std::deque<std::pair<double, double>> pressureHistory_;  // (time, pressure)
    double windLevel_ = 0.0;                                 // log of m/s
    double windNoise_ = 0.0;
    double prevailingDirection_ = 250.0;
    double directionNoise_ = 0.0;
    double showerLeft_ = 0.0;  // seconds of the current shower still to come
    double showerIntensity_ = 0.0;
    std::deque<std::pair<double, double>> rainHistory_;  // (time, mm) of the last hour
    ConsoleTime day_ = 0;                                // midnight of the console's current day

    Weather weather_;
    StationValues station_;
};

}  // namespace ombrix::sim
