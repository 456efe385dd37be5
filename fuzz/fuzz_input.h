#pragma once
// The fuzzer's bytes taken apart into the arguments a parser takes. Texts are
// read one byte to one character, so corpus files stay readable; numbers are
// taken from the front, and whatever is left is the text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzzing {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The next `sizeof(T)` bytes as an unsigned number (zero past the end).
    template <typename T>
    T number() {
        T value = 0;
        const std::size_t count = size_ < sizeof(T) ? size_ : sizeof(T);
        for (std::size_t i = 0; i < count; ++i) value = static_cast<T>(value << 8 | data_[i]);
        consume(count);
        return value;
    }

    bool empty() const { return size_ == 0; }

    bool flag() { return (number<std::uint8_t>() & 1) != 0; }

    // Up to the next line feed (dropped) or the end.
    std::wstring line() {
        std::wstring text;
        while (size_ > 0) {
            const std::uint8_t c = *data_;
            consume(1);
            if (c == '\n') break;
            text += static_cast<wchar_t>(c);
        }
        return text;
    }

    std::vector<std::wstring> lines() {
        std::vector<std::wstring> all;
        while (size_ > 0) all.push_back(line());
        return all;
    }

    std::wstring restAsWide() {
        std::wstring text(data_, data_ + size_);
        consume(size_);
        return text;
    }

    // The rest in a heap block of exactly its size, so a read or write one
    // byte past it is caught.
    std::vector<std::uint8_t> restAsBytes() {
        std::vector<std::uint8_t> bytes(data_, data_ + size_);
        consume(size_);
        return bytes;
    }

    std::string restAsText() {
        std::string text(reinterpret_cast<const char*>(data_), size_);
        consume(size_);
        return text;
    }

private:
    void consume(std::size_t count) {
        data_ += count;
        size_ -= count;
    }

    const std::uint8_t* data_;
    std::size_t size_;
};

// A broken property: said on the standard error and turned into a crash,
// which the fuzzer keeps as a finding.
[[noreturn]] inline void fail(const char* property) {
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

inline void require(bool holds, const char* property) {
    if (!holds) fail(property);
}

}  // namespace fuzzing
