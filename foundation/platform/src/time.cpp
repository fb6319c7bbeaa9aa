#include "arc_platform.h"
#include "env_lock.h"

#include <ctime>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<bool> testClockSet{false};
std::atomic<int64_t> testClock{0};

bool representable(int64_t seconds) { return static_cast<int64_t>(static_cast<time_t>(seconds)) == seconds; }

}  // namespace

void ArcOS_Sleep(unsigned seconds) { std::this_thread::sleep_for(std::chrono::seconds(seconds)); }
void ArcOS_SleepMs(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ArcOS_FTime(ArcOSTimeB* record) {
    if (record == nullptr) return;
    if (testClockSet.load()) {
        record->time = testClock.load();
        record->millitm = 0;
        return;
    }
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    record->time = ts.tv_sec;
    record->millitm = static_cast<uint16_t>(ts.tv_nsec / 1000000);
}

int64_t ArcOS_TimeNow() {
    ArcOSTimeB now;
    ArcOS_FTime(&now);
    return now.time;
}

void ArcOS_SetTestClock(std::optional<int64_t> utcSeconds) {
    if (utcSeconds) testClock.store(*utcSeconds);
    testClockSet.store(utcSeconds.has_value());
}

int64_t ArcOS_MonotonicMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int ArcOS_LocalTime(int64_t utcSeconds, struct tm* out) {
    if (out == nullptr || !representable(utcSeconds)) return -1;
    time_t t = static_cast<time_t>(utcSeconds);
    std::lock_guard lock(arcEnvironmentMutex());
    tzset();
    return localtime_r(&t, out) != nullptr ? 0 : -1;
}

int ArcOS_GmTime(int64_t utcSeconds, struct tm* out) {
    if (out == nullptr || !representable(utcSeconds)) return -1;
    time_t t = static_cast<time_t>(utcSeconds);
    return gmtime_r(&t, out) != nullptr ? 0 : -1;
}

int64_t ArcOS_TimeGm(struct tm* fields) {
    if (fields == nullptr) return -1;
    return static_cast<int64_t>(timegm(fields));
}

int64_t ArcOS_MkTime(struct tm* fields) {
    if (fields == nullptr) return -1;
    std::lock_guard lock(arcEnvironmentMutex());
    tzset();
    return static_cast<int64_t>(mktime(fields));
}

long ArcOS_UtcOffset(int64_t utcSeconds) {
    struct tm local;
    if (ArcOS_LocalTime(utcSeconds, &local) != 0) return 0;
    return local.tm_gmtoff;
}

void QelTimer_Start(QelTimer* record) {
    if (record == nullptr) return;
    int64_t ms = ArcOS_MonotonicMs();
    record->seconds = ms / 1000;
    record->milliseconds = static_cast<uint16_t>(ms % 1000);
}

double QelTimer_Elapsed(const QelTimer* record) {
    if (record == nullptr) return 0.0;
    int64_t ms = ArcOS_MonotonicMs();
    int64_t nowSeconds = ms / 1000;
    int64_t nowMs = ms % 1000;
    return double((nowSeconds - record->seconds) * 1000 - record->milliseconds + nowMs) * 0.001;
}
