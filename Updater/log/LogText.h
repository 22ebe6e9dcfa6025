#pragma once

#include <string>

// Text that came from outside (the network, a manifest) as it may stand in
// one log record: every control character, C0 and C1, and the Unicode line
// and paragraph separators becomes "?", so that no such text can end a
// record early or begin a line of the log that looks like a record of its
// own. Every record that carries such text passes it through here.
std::wstring ForLog(std::wstring text);
