// A raw copy of bytes over a TCP connection on 127.0.0.1: the floor under any protocol
// that moves the same bytes over loopback.
#pragma once

#include <string>

namespace request_bench {

// Sends the bytes from one thread and receives them in this one; the seconds from the
// connect to the last byte received, or a negative value when the copy failed.
double LoopbackCopySeconds(const std::string& bytes);

}  // namespace request_bench
