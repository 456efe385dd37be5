// Language, number and date routines of the client library. The stand-in
// knows one character set family (single-byte, ASCII letters for case).

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "interfaces/vorlix/vci.h"
#include "sim/vorlix/vci/conversions.h"

struct VLXGlobalCtx {
    int languages = 0;
};
struct VLXLangCtx {
    VLXGlobalCtx* global = nullptr;
};
struct VLXLangHandle {
    std::string language;
    std::string territory;
    std::string charset;
};
struct VLXDateCtx {
    VLXDateErrorCallback callback = nullptr;
    void* callbackCtx = nullptr;
};

namespace {

const char kDateFormatTag = 'D';
const char kNumberFormatTag = 'N';

bool knownLanguage(const std::string& language) {
    for (const char* known : {"AMERICAN", "ENGLISH", "KOREAN", "GERMAN", "FRENCH", "SPANISH"}) {
        if (language == known) return true;
    }
    return false;
}

std::string upperText(const char* text, size_t length) {
    std::string s(text, length);
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void dateError(VLXDateCtx* ctx, int32_t number) {
    if (ctx && ctx->callback) ctx->callback(ctx->callbackCtx, number);
}

// Writes `date` with a format of the elements YYYY, MM, DD, HH24, MI, SS and literal text.
int32_t formatDate(const char* format, char* out, size_t outSize, const VLXDate& d) {
    std::string text;
    for (size_t i = 0; format[i];) {
        char piece[8];
        auto take = [&](const char* element, int value, const char* form) {
            size_t n = std::strlen(element);
            if (std::strncmp(format + i, element, n) != 0) return false;
            std::snprintf(piece, sizeof piece, form, value);
            text += piece;
            i += n;
            return true;
        };
        if (take("YYYY", d.year, "%04d") || take("MM", d.month, "%02d") ||
            take("DD", d.day, "%02d") || take("HH24", d.hour, "%02d") ||
            take("MI", d.minute, "%02d") || take("SS", d.second, "%02d"))
            continue;
        text += format[i++];
    }
    if (text.size() + 1 > outSize) return -1;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return int32_t(text.size());
}

}  // namespace

extern "C" {

VCIAPI VLXGlobalCtx* lxlinit(void*, uint32_t, int32_t* status) {
    static VLXGlobalCtx global;
    if (status) *status = 0;
    return &global;
}

VCIAPI VLXLangCtx* lxinitc(VLXGlobalCtx* glo, void*, uint32_t) {
    if (!glo) return nullptr;
    auto* ctx = new VLXLangCtx();
    ctx->global = glo;
    return ctx;
}

VCIAPI VLXLangHandle* lxhLaToId(const char* text, size_t length, VLXLangCtx* ctx) {
    if (!text || !ctx) return nullptr;
    std::string setting = upperText(text, length);
    size_t underscore = setting.find('_'), dot = setting.find('.');
    auto* handle = new VLXLangHandle();
    handle->language = setting.substr(0, std::min(underscore, dot));
    if (underscore != std::string::npos)
        handle->territory = setting.substr(underscore + 1, dot - underscore - 1);
    if (dot != std::string::npos) handle->charset = setting.substr(dot + 1);
    if (!knownLanguage(handle->language)) {
        delete handle;
        return nullptr;
    }
    return handle;
}

VCIAPI VLXDateCtx* ldxini(const char* languageText, size_t length, VLXDateErrorCallback callback,
                          void* callbackCtx, VLXLangCtx* ctx) {
    VLXLangHandle* language = lxhLaToId(languageText, length, ctx);
    if (!language) {
        if (callback) callback(callbackCtx, 1);
        return nullptr;
    }
    delete language;
    auto* dates = new VLXDateCtx();
    dates->callback = callback;
    dates->callbackCtx = callbackCtx;
    return dates;
}

VCIAPI int32_t ldxeti(VLXDateCtx* ctx, const unsigned char* b, VLXDate* out) {
    if (!b || !out) {
        dateError(ctx, 2);
        return 2;
    }
    out->year = int16_t((b[0] - 100) * 100 + (b[1] - 100));
    out->month = b[2];
    out->day = b[3];
    out->hour = uint8_t(b[4] - 1);
    out->minute = uint8_t(b[5] - 1);
    out->second = uint8_t(b[6] - 1);
    if (out->month < 1 || out->month > 12 || out->day < 1 || out->day > 31 || out->hour > 23 ||
        out->minute > 59 || out->second > 59) {
        dateError(ctx, 1858);
        return 1858;
    }
    return 0;
}

VCIAPI int32_t ldxsto(VLXDateCtx* ctx, const char* format, size_t formatLength,
                      unsigned char* compiled, size_t compiledSize) {
    if (!format || !compiled || formatLength + 2 > compiledSize) {
        dateError(ctx, 1801);
        return 1801;
    }
    compiled[0] = kDateFormatTag;
    std::memcpy(compiled + 1, format, formatLength);
    compiled[formatLength + 1] = '\0';
    return 0;
}

VCIAPI int32_t ldxdts(VLXDateCtx* ctx, char* out, size_t outSize, const VLXDate* date,
                      const unsigned char* compiled) {
    if (!out || !date || !compiled || compiled[0] != kDateFormatTag) {
        dateError(ctx, 1821);
        return -1;
    }
    return formatDate(reinterpret_cast<const char*>(compiled + 1), out, outSize, *date);
}

VCIAPI int32_t lnxpfl(const char* format, size_t formatLength, unsigned char* compiled,
                      size_t compiledSize, VLXLangHandle* language) {
    if (!format || !compiled || !language || formatLength + 2 > compiledSize) return 1481;
    std::string f = upperText(format, formatLength);
    if (f.rfind("FM", 0) == 0) f.erase(0, 2);
    if (f.empty() || f.find_first_not_of("9") != std::string::npos) return 1481;
    compiled[0] = kNumberFormatTag;
    compiled[1] = uint8_t(std::min<size_t>(f.size(), 255));
    return 0;
}

VCIAPI int32_t lnxnft(const unsigned char* number, size_t numberLength, char* out, size_t outSize,
                      const unsigned char* compiled, VLXLangHandle* language) {
    if (!number || !out || !compiled || compiled[0] != kNumberFormatTag || !language) return -1;
    double value = vci::decodeVarnum(number, numberLength);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    size_t digits = std::strlen(text) - (value < 0 ? 1 : 0);
    if (digits > compiled[1] || std::strlen(text) + 1 > outSize)
        return -1;  // the format has no room
    std::memcpy(out, text, std::strlen(text) + 1);
    return int32_t(std::strlen(text));
}

VCIAPI int32_t lxsCmpStr(const char* a, size_t aLength, const char* b, size_t bLength,
                         uint32_t mode, VLXLangHandle*, VLXLangCtx*) {
    bool ignoreCase = (mode & VLX_CMP_CASE_INSENSITIVE) == VLX_CMP_CASE_INSENSITIVE;
    size_t n = std::min(aLength, bLength);
    for (size_t i = 0; i < n; ++i) {
        int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (ignoreCase) {
            x = std::toupper(x);
            y = std::toupper(y);
        }
        if (x != y) return x - y;
    }
    return int32_t(aLength) - int32_t(bLength);
}

}  // extern "C"
