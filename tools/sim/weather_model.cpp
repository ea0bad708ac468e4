#include "tools/sim/weather_model.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

namespace ombrix::sim {

namespace {

constexpr double kHour = 3600.0;
constexpr double kDay = 86400.0;
constexpr double kElevation = 300.0;  // metres above sea level
constexpr double kMaxStep = 60.0;     // the console samples at least once a minute

// Midnight of the console's day that t lies in.
ConsoleTime Midnight(ConsoleTime t) {
    using namespace std::chrono;
    return floor<days>(sys_seconds{seconds{t}}).time_since_epoch().count() * 86400;
}

// An Ornstein-Uhlenbeck step: x relaxes towards target with time constant tau and keeps a
// stationary spread of sigma around it.
double Relax(double x, double target, double tau, double sigma, double dt, Random& random) {
    const double a = std::exp(-dt / tau);
    return target + (x - target) * a + sigma * std::sqrt(1.0 - a * a) * random.Normal();
}

double WrapDegrees(double d) {
    d = std::fmod(d, 360.0);
    return d < 0 ? d + 360.0 : d;
}

// The signed difference to - from, in (-180, 180].
double AngleDifference(double to, double from) {
    double d = WrapDegrees(to - from);
    return d > 180.0 ? d - 360.0 : d;
}

// Saturation vapour pressure over water, hPa (Magnus).
constexpr double kMagnusB = 17.62;
constexpr double kMagnusC = 243.12;
double SaturationPressure(double t) {
    return 6.112 * std::exp(kMagnusB * t / (kMagnusC + t));
}

int Round(double x) {
    return static_cast<int>(std::lround(x));
}

// The station's whole millimetres: what the gauge has counted, fractions not yet.
int WholeMillimetres(double mm) {
    return static_cast<int>(std::floor(mm + 1e-9));
}

template <class T>
void KeepMax(T current, T& max, Stamp& at, const Stamp& now) {
    if (current > max) {
        max = current;
        at = now;
    }
}

template <class T>
void KeepMin(T current, T& min, Stamp& at, const Stamp& now) {
    if (current < min) {
        min = current;
        at = now;
    }
}

template <class V>
void StartExtremes(V& v, const Stamp& now) {
    v.Max = v.Current;
    v.Min = v.Current;
    v.MaxAt = now;
    v.MinAt = now;
}

template <class V>
void KeepExtremes(V& v, const Stamp& now) {
    KeepMax(v.Current, v.Max, v.MaxAt, now);
    KeepMin(v.Current, v.Min, v.MinAt, now);
}

}  // namespace

ConsoleTime ToConsoleTime(const LocalTime& t) {
    using namespace std::chrono;
    const sys_days day{year{t.Year} / t.Month / t.Day};
    return day.time_since_epoch().count() * 86400 + t.Hour * 3600 + t.Minute * 60 + t.Second;
}

LocalTime ToCivil(ConsoleTime t) {
    using namespace std::chrono;
    const sys_seconds at{seconds{t}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    return {static_cast<int>(date.year()),
            static_cast<int>(unsigned{date.month()}),
            static_cast<int>(unsigned{date.day()}),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count())};
}

double Random::Uniform() {
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

double Random::Normal() {
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    // Box-Muller; 1 - u keeps the logarithm away from zero.
    const double u = 1.0 - Uniform();
    const double v = Uniform();
    const double r = std::sqrt(-2.0 * std::log(u));
    spare_ = r * std::sin(2.0 * std::numbers::pi * v);
    haveSpare_ = true;
    return r * std::cos(2.0 * std::numbers::pi * v);
}

double DewPoint(double temperature, double humidity) {
    const double g = std::log(humidity / 100.0) + kMagnusB * temperature / (kMagnusC + temperature);
    return kMagnusC * g / (kMagnusB - g);
}

double WindChill(double temperature, double windKmh) {
    if (temperature > 10.0 || windKmh <= 4.8) return temperature;
    const double v = std::pow(windKmh, 0.16);
    return 13.12 + 0.6215 * temperature - 11.37 * v + 0.3965 * temperature * v;
}

namespace {

// Climate of a central European lowland site: the day's mean temperature over the year and the
// half-range of the day's cycle, both in °C, by the fraction of the year.
double ClimateMean(double yearFraction) {
    return 9.5 - 9.0 * std::cos(2.0 * std::numbers::pi * (yearFraction - 15.0 / 365.0));
}
double ClimateHalfRange(double yearFraction) {
    return 3.5 - 1.5 * std::cos(2.0 * std::numbers::pi * (yearFraction - 15.0 / 365.0));
}

// Showers an hour: rare under high pressure, frequent under low or quickly falling pressure.
double ShowerRate(double pressure, double change3h) {
    return 0.02 + 0.25 / (1.0 + std::exp((pressure - 1003.0) / 4.0)) +
           0.1 * std::max(0.0, -change3h);
}

}  // namespace

WeatherModel::WeatherModel(std::uint64_t seed, ConsoleTime start)
    : random_(seed), time_(static_cast<double>(start)) {
    Random& r = random_;
    airMass_ = 3.0 * r.Normal();
    temperatureNoise_ = 0.3 * r.Normal();
    dryness_ = 1.5 * r.Normal();
    indoorTemperature_ = 20.5 + 0.5 * r.Normal();
    indoorHumidityNoise_ = 4.0 * r.Normal();
    pressure_ = std::clamp(1013.0 + 8.0 * r.Normal(), 975.0, 1040.0);
    pressureRate_ = 0.6 * r.Normal();
    pressureHistory_.emplace_back(time_ - 3 * kHour, pressure_ - 3.0 * pressureRate_);
    pressureHistory_.emplace_back(time_, pressure_);
    windLevel_ = std::log(2.5) + 0.4 * r.Normal();
    windNoise_ = 0.25 * r.Normal();
    prevailingDirection_ = 360.0 * r.Uniform();
    directionNoise_ = 15.0 * r.Normal();

    // Perhaps in a shower already, perhaps with an earlier one today.
    const double change = 3.0 * pressureRate_;
    if (r.Uniform() < ShowerRate(pressure_, change) * 0.5) {
        showerLeft_ = 60.0 * (5.0 + 30.0 * r.Uniform());
        showerIntensity_ = std::clamp(std::exp(std::log(2.0) + 0.8 * r.Normal()), 0.2, 50.0);
        wetness_ = 1.0;
    } else {
        wetness_ = 0.2 * r.Uniform();
    }
    const double earlier = r.Uniform() < 0.3 ? 2.0 * std::exp(r.Normal()) : 0.0;

    const ConsoleTime now = static_cast<ConsoleTime>(std::floor(time_));
    day_ = Midnight(now);
    const LocalTime civil = ToCivil(now);
    const ConsoleTime newYear = ToConsoleTime({civil.Year, 1, 1, 0, 0, 0});
    const double dayOfYear = static_cast<double>(now - newYear) / kDay;

    weather_.RainToday = std::min(earlier, 0.5 * static_cast<double>(now - day_) / kHour);
    weather_.RainSinceReset = weather_.RainToday + dayOfYear * 1.9 * (0.8 + 0.4 * r.Uniform());
    station_.Rain.ResetAt = {0, 0, 1, 1};

    Derive();
    UpdateConsole(true);
}

void WeatherModel::Advance(double seconds) {
    if (!(seconds > 0)) return;
    const int steps = std::max(1, static_cast<int>(std::ceil(seconds / kMaxStep)));
    const double dt = seconds / steps;
    for (int i = 0; i < steps; ++i) {
        time_ += dt;
        Evolve(dt);
        Derive();
        UpdateConsole(false);
    }
}

void WeatherModel::Evolve(double dt) {
    Random& r = random_;

    airMass_ = Relax(airMass_, 0.0, 2.0 * kDay, 3.0, dt, r);
    temperatureNoise_ = Relax(temperatureNoise_, 0.0, 20.0 * 60.0, 0.3, dt, r);
    dryness_ = Relax(dryness_, 0.0, 12.0 * kHour, 1.5, dt, r);
    indoorHumidityNoise_ = Relax(indoorHumidityNoise_, 0.0, 6.0 * kHour, 4.0, dt, r);

    // Heating: warmer by day than by night, a little warmer in a warm season.
    const double hour = std::fmod(time_, kDay) / kHour;
    const double heating =
        (hour >= 6.0 && hour < 22.0 ? 21.0 : 19.0) + 0.05 * (weather_.OutdoorTemperature - 10.0);
    indoorTemperature_ = Relax(indoorTemperature_, heating, 1.5 * kHour, 0.15, dt, r);

    // Pressure drifts with a rate that wanders and pulls back towards the mean.
    const double rateTarget = -(pressure_ - 1013.0) / 36.0;
    pressureRate_ = Relax(pressureRate_, rateTarget, 6.0 * kHour, 0.6, dt, r);
    pressure_ += pressureRate_ * dt / kHour;
    if (pressure_ < 955.0 || pressure_ > 1050.0) {
        pressure_ = std::clamp(pressure_, 955.0, 1050.0);
        pressureRate_ = -pressureRate_;
    }
    pressureHistory_.emplace_back(time_, pressure_);
    while (pressureHistory_.size() > 2 && pressureHistory_[1].first <= time_ - 3 * kHour)
        pressureHistory_.pop_front();
    const double change = pressure_ - pressureHistory_.front().second;

    // More wind under falling or low pressure.
    const double windTarget =
        std::log(2.5) + 0.15 * std::max(0.0, -change) + 0.02 * std::max(0.0, 1010.0 - pressure_);
    windLevel_ = Relax(windLevel_, windTarget, 8.0 * kHour, 0.4, dt, r);
    windNoise_ = Relax(windNoise_, 0.0, 3.0 * 60.0, 0.25, dt, r);

    // The prevailing direction wanders slowly, light winds swing about it more.
    prevailingDirection_ = WrapDegrees(
        prevailingDirection_ + AngleDifference(250.0, prevailingDirection_) * dt / (3.0 * kDay) +
        20.0 * std::sqrt(dt / kHour) * r.Normal());
    const double swing = 10.0 + 30.0 / (1.0 + weather_.MeanWind);
    directionNoise_ = Relax(directionNoise_, 0.0, 5.0 * 60.0, swing, dt, r);

    // Showers come and go.
    if (showerLeft_ > 0) {
        showerLeft_ -= dt;
    } else if (r.Uniform() < 1.0 - std::exp(-ShowerRate(pressure_, change) * dt / kHour)) {
        showerLeft_ = 60.0 * (10.0 - 30.0 * std::log(1.0 - r.Uniform()));
        showerIntensity_ = std::clamp(std::exp(std::log(2.0) + 0.8 * r.Normal()), 0.2, 50.0);
    }
    const bool raining = showerLeft_ > 0;
    weather_.RainRate = raining ? showerIntensity_ * std::exp(0.3 * r.Normal()) : 0.0;
    wetness_ = raining ? Relax(wetness_, 1.0, 20.0 * 60.0, 0.0, dt, r)
                       : Relax(wetness_, 0.0, 3.0 * kHour, 0.0, dt, r);

    // The gauge: the day's total starts again at the console's midnight.
    const ConsoleTime now = static_cast<ConsoleTime>(std::floor(time_));
    const ConsoleTime today = Midnight(now);
    if (today != day_) {
        day_ = today;
        weather_.RainToday = 0.0;
    }
    const double amount = weather_.RainRate * dt / kHour;
    if (amount > 0) {
        rainHistory_.emplace_back(time_, amount);
        weather_.RainToday += amount;
        weather_.RainSinceReset += amount;
    }
}

void WeatherModel::Derive() {
    Weather& w = weather_;
    w.Time = static_cast<ConsoleTime>(std::floor(time_));

    const LocalTime civil = ToCivil(w.Time);
    const ConsoleTime newYear = ToConsoleTime({civil.Year, 1, 1, 0, 0, 0});
    const double yearFraction = static_cast<double>(w.Time - newYear) / (365.25 * kDay);
    const double hour = static_cast<double>(w.Time - day_) / kHour;

    // A day's cycle, warmest at three in the afternoon, flatter and cooler under rain clouds.
    const double dayMean = ClimateMean(yearFraction) + airMass_;
    const double halfRange = ClimateHalfRange(yearFraction) * (1.0 - 0.6 * wetness_);
    const double cycle = std::cos(2.0 * std::numbers::pi * (hour - 15.0) / 24.0);
    w.OutdoorTemperature = dayMean + halfRange * cycle + temperatureNoise_ - 1.5 * wetness_;

    // The air's moisture changes slowly, so the humidity moves against the temperature.
    const double depression = std::max(0.3, 5.0 + dryness_ - 3.5 * wetness_);
    const double moisture = SaturationPressure(dayMean - depression);
    w.OutdoorHumidity =
        std::clamp(100.0 * moisture / SaturationPressure(w.OutdoorTemperature), 12.0, 99.0);
    w.OutdoorDewPoint = DewPoint(w.OutdoorTemperature, w.OutdoorHumidity);

    w.IndoorTemperature = indoorTemperature_;
    w.IndoorHumidity = std::clamp(
        45.0 + 0.5 * (dayMean - 10.0) + indoorHumidityNoise_ - 2.0 * (indoorTemperature_ - 20.0),
        20.0, 80.0);
    w.IndoorDewPoint = DewPoint(w.IndoorTemperature, w.IndoorHumidity);

    w.SeaLevelPressure = pressure_;
    w.LocalPressure = pressure_ * std::pow(1.0 - 0.0065 * kElevation / 288.15, 5.255);
    w.PressureChange3h = pressure_ - pressureHistory_.front().second;

    const double diurnal = 1.0 + 0.25 * std::cos(2.0 * std::numbers::pi * (hour - 14.0) / 24.0);
    w.MeanWind = std::min(60.0, std::exp(windLevel_ + windNoise_) * diurnal);
    w.Gust = w.MeanWind * (1.25 + 0.4 * random_.Uniform()) + 0.4 * std::fabs(random_.Normal());
    w.MeanDirection = WrapDegrees(prevailingDirection_ + directionNoise_);
    w.GustDirection = WrapDegrees(w.MeanDirection + 8.0 * random_.Normal());
    w.WindChill = WindChill(w.OutdoorTemperature, w.MeanWind * 3.6);

    while (!rainHistory_.empty() && rainHistory_.front().first <= time_ - kHour)
        rainHistory_.pop_front();
    w.RainLastHour = 0.0;
    for (const auto& [at, mm] : rainHistory_) w.RainLastHour += mm;
}

void WeatherModel::UpdateConsole(bool first) {
    const Weather& w = weather_;
    StationValues& s = station_;
    const LocalTime civil = ToCivil(w.Time);
    const Stamp now{civil.Hour, civil.Minute, civil.Day, civil.Month};

    s.Clock.Hour = civil.Hour;
    s.Clock.Minute = civil.Minute;
    s.Clock.Second = civil.Second;
    s.Clock.Day = civil.Day;
    s.Clock.Month = civil.Month;

    s.OutdoorTemperature.Current = std::clamp(Round(w.OutdoorTemperature * 10), -799, 799);
    s.IndoorTemperature.Current = std::clamp(Round(w.IndoorTemperature * 10), -799, 799);
    s.OutdoorTemperature.AlarmHighF = 140;
    s.OutdoorTemperature.AlarmLowF = -40;

    s.OutdoorHumidity.Current = std::clamp(Round(w.OutdoorHumidity), 0, 99);
    s.IndoorHumidity.Current = std::clamp(Round(w.IndoorHumidity), 0, 99);

    // The dew point fields carry no sign: below zero the console shows 0 and flags it.
    const int outdoorDew = Round(w.OutdoorDewPoint);
    const int indoorDew = Round(w.IndoorDewPoint);
    s.OutdoorDewPoint.Current = std::clamp(outdoorDew, 0, 99);
    s.OutdoorDewPoint.OutOfRange = outdoorDew < 0;
    s.IndoorDewPoint.Current = std::clamp(indoorDew, 0, 99);
    s.IndoorDewPoint.OutOfRange = indoorDew < 0;

    BarometerValues& b = s.Barometer;
    b.LocalMb = Round(w.LocalPressure);
    b.SeaLevelTenths = Round(w.SeaLevelPressure * 10);
    const double change = w.PressureChange3h;
    b.TrendCode = change >= 1.0 ? 1 : change <= -1.0 ? 4 : 2;
    if (change <= -2.5 || w.SeaLevelPressure < 995.0) {
        b.ForecastCode = 8;
    } else if (change <= -1.0 || w.SeaLevelPressure < 1005.0) {
        b.ForecastCode = 4;
    } else if (change >= 1.5 || w.SeaLevelPressure >= 1020.0) {
        b.ForecastCode = 1;
    } else {
        b.ForecastCode = 2;
    }
    b.AlarmThresholdCode = 3;

    RainValues& rain = s.Rain;
    const int lastHour = WholeMillimetres(w.RainLastHour);
    rain.LastHour = std::min(lastHour, 999);
    rain.OutOfRange = lastHour > 999;
    rain.Today = std::min(WholeMillimetres(w.RainToday), 9999);
    rain.SinceReset = std::min(WholeMillimetres(w.RainSinceReset), 9999);

    WindValues& wind = s.Wind;
    const int gust = Round(w.Gust * 10);
    const int mean = Round(w.MeanWind * 10);
    wind.GustTenths = std::min(gust, 999);
    wind.GustOutOfRange = gust > 999;
    wind.MeanTenths = std::min(mean, 999);
    wind.MeanOutOfRange = mean > 999;
    wind.GustDirection = Round(w.GustDirection) % 360;
    wind.MeanDirection = Round(w.MeanDirection) % 360;

    s.WindChill.Current = std::clamp(Round(w.WindChill), -99, 99);

    if (first) {
        StartExtremes(s.OutdoorTemperature, now);
        StartExtremes(s.IndoorTemperature, now);
        StartExtremes(s.OutdoorHumidity, now);
        StartExtremes(s.IndoorHumidity, now);
        StartExtremes(s.OutdoorDewPoint, now);
        StartExtremes(s.IndoorDewPoint, now);
        wind.MaxTenths = wind.GustTenths;
        wind.MaxDirection = wind.GustDirection;
        wind.MaxAt = now;
        s.WindChill.Min = s.WindChill.Current;
        s.WindChill.MinAt = now;
        return;
    }
    KeepExtremes(s.OutdoorTemperature, now);
    KeepExtremes(s.IndoorTemperature, now);
    KeepExtremes(s.OutdoorHumidity, now);
    KeepExtremes(s.IndoorHumidity, now);
    KeepExtremes(s.OutdoorDewPoint, now);
    KeepExtremes(s.IndoorDewPoint, now);
    if (wind.GustTenths > wind.MaxTenths) {
        wind.MaxTenths = wind.GustTenths;
        wind.MaxDirection = wind.GustDirection;
        wind.MaxAt = now;
        wind.MaxOutOfRange = wind.GustOutOfRange;
    }
    KeepMin(s.WindChill.Current, s.WindChill.Min, s.WindChill.MinAt, now);
}

}  // namespace ombrix::sim
