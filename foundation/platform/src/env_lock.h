// The lock that guards the process environment (also around tzset, which reads TZ).
#pragma once
#include <mutex>

std::mutex& arcEnvironmentMutex();
