// kavrad's HTTP request parser: bytes fed in pieces whose sizes the input chooses, as a socket
// delivers them. A complete request must keep within the parser's limits; a failure must carry
// one of its status codes.
//
// Input: the first byte seeds the piece sizes; the rest is what the client sends.
#include "HttpRequestParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    unsigned piece = data[0] % 64 + 1;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), int(size - 1));
    HttpRequestParser parser;
    for (int at = 0; at < input.size(); at += int(piece), piece = piece * 7 % 61 + 1) {
        switch (parser.feed(input.mid(at, int(piece)))) {
        case HttpRequestParser::State::Failed: {
            const int status = parser.failureStatus();
            if (status != 400 && status != 413 && status != 431 && status != 501 && status != 505)
                std::abort();
            return 0;
        }
        case HttpRequestParser::State::Complete: {
            const HttpRequestParser::Request& request = parser.request();
            if (request.body.size() > HttpRequestParser::MaxBodyBytes
                || request.headers.size() > HttpRequestParser::MaxHeaders
                || !request.path.startsWith('/'))
                std::abort();
            parser.next(); // pipelined bytes start the next request
            break;
        }
        case HttpRequestParser::State::Incomplete:
            break;
        }
    }
    return 0;
}
