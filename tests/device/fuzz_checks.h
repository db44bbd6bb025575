#pragma once
// What hostile input must never do to the HTTP response reader and the
// discovery datagram codec, shared by their libFuzzer targets and the replay
// of the saved corpora in the ordinary test suite.
#include <cstddef>
#include <cstdint>
#include <string>

namespace device_fuzz {

// Input: byte 0 says how the rest, the bytes a camera sends on one
// connection, is cut into reads (0: a byte at a time; n: reads of 1 to n
// bytes, lengths drawn from n), then the connection closes.
//
// The reader must give the same answer for the bytes in one read as in
// pieces; a complete response must have a valid status, no error and a body
// within the cap, a broken one status 0 and an error; and a complete response
// written again with a Content-Length, and chunked, must read back the same.
// Returns "" when all holds, else what went wrong.
std::string CheckHttpInput(const uint8_t* data, size_t size);

// Input: one datagram. Whatever parses must be rebuilt by BuildDatagram and
// parse again to the same message; whatever is dropped must say why.
std::string CheckDatagramInput(const uint8_t* data, size_t size);

}  // namespace device_fuzz
