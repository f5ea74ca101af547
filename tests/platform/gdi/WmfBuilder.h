// Windows metafiles written in code for the tests: the header, records of 16-bit words, and the
// end record, with the sizes filled in.
#pragma once

#include "platform/gdi/Gdi.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace wmftest {

using namespace gdi;

// Writes a metafile: the header, records of 16-bit words, and the end record.
class TWmf {
public:
    explicit TWmf(WORD objects = 4) : FObjects(objects) {}
    TWmf& Record(WORD function, std::initializer_list<int> words) {
        return Raw(function, std::vector<int>(words));
    }
    TWmf& Raw(WORD function, const std::vector<int>& words) {
        Dword(std::uint32_t(3 + words.size()));
        Word(function);
        for (int w : words)
            Word(WORD(w));
        return *this;
    }
    // Parameters of a colour: two words, the low one first.
    static std::vector<int> Colour(COLORREF c) { return {int(c & 0xFFFF), int(c >> 16)}; }
    std::vector<BYTE> Bytes() const {
        std::vector<BYTE> out;
        auto word = [&out](unsigned v) {
            out.push_back(BYTE(v));
            out.push_back(BYTE(v >> 8));
        };
        const std::size_t words = 9 + FBody.size() / 2 + 3;
        word(1), word(9), word(0x300), word(unsigned(words & 0xFFFF)), word(unsigned(words >> 16));
        word(FObjects), word(0), word(0), word(0);
        out.insert(out.end(), FBody.begin(), FBody.end());
        word(3), word(0), word(0);  // the end record
        return out;
    }
    HMETAFILE Make() const {
        const std::vector<BYTE> bytes = Bytes();
        return SetMetaFileBitsEx(UINT(bytes.size()), bytes.data());
    }

private:
    void Word(WORD w) {
        FBody.push_back(BYTE(w));
        FBody.push_back(BYTE(w >> 8));
    }
    void Dword(std::uint32_t d) {
        Word(WORD(d));
        Word(WORD(d >> 16));
    }
    WORD FObjects;
    std::vector<BYTE> FBody;
};

}  // namespace wmftest
