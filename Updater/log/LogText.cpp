#include "log/LogText.h"

std::wstring ForLog(std::wstring text) {
    for (wchar_t& c : text) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
            c = L'?';
    }
    return text;
}
