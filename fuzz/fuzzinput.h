#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A fuzz input read as a call: the first `header` bytes are flags and small numbers, the rest
// is `count` arguments separated by NUL bytes. The last argument takes everything left, NULs
// included, so the main text can hold any byte; missing bytes and arguments read as zero/empty.
struct FuzzCall {
    std::vector<uint8_t> header;
    std::vector<std::string_view> args;
};

inline FuzzCall ReadFuzzCall(const uint8_t* data, size_t size, size_t header, size_t count) {
    FuzzCall call;
    call.header.assign(header, 0);
    size_t i = 0;
    for (; i < header && i < size; ++i)
        call.header[i] = data[i];
    std::string_view rest(reinterpret_cast<const char*>(data) + i, size - i);
    for (size_t k = 0; k + 1 < count; ++k) {
        const size_t sep = rest.find('\0');
        call.args.push_back(rest.substr(0, sep));
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    }
    call.args.push_back(rest);
    return call;
}
