#pragma once

#include <string>

// The downloaded installer's file name, "Setup_<intname>-<version>.exe".
// Both parts come from the network, so a part that could make the name leave
// its folder or name something else is refused: a path separator ("\" or
// "/"), "..", a drive colon, a control character or any other character not
// allowed in a file name (< > " | ? *). Returns false and leaves name
// untouched when a part is refused.
bool MakeInstallerFileName(const std::wstring& intname, const std::wstring& version,
                           std::wstring& name);
