#pragma once

// The registry values the command-bar placement reads and writes. Nothing
// here reports why something failed: a key that can't be opened or a value
// that can't be read simply contributes nothing.

#include "toolpeg/ButtonCatalogue.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The browser's "Version" text under HKEY_LOCAL_MACHINE; empty when the key or
// value is missing, isn't a string or doesn't fit 1024 characters.
std::wstring ReadBrowserVersion();

// The sub-keys of root's "SOFTWARE\Microsoft\Internet Explorer\Extensions" in
// index order, with their "CLSID" and "Default Visible" texts (ids left 0).
// Empty when the key can't be opened.
std::vector<CButtonRecord> ReadExtensionKeys(HKEY root);

// The bytes of the current user's stored layout value valueName. False
// (bytes untouched) when the command-bar key or the value is missing or the
// value is empty.
bool ReadStoredLayoutValue(const wchar_t* valueName, std::vector<uint8_t>& bytes);

// Stores bytes as the REG_BINARY value valueName of the current user's
// command-bar key, creating the key if missing. True on success.
bool WriteLayoutValue(const wchar_t* valueName, const std::vector<uint8_t>& bytes);
