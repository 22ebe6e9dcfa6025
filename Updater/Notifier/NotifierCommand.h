#pragma once

// The page shown by the Notifier talks back only through links whose address
// begins with "command:". This module reads such an address and decides what
// it asks for; it makes no platform call.

#include <string>
#include <vector>

// A command carried by a "command:" address: the first field is the name,
// each further field one argument, in order.
struct CNotifierCommand {
    std::wstring name;
    std::vector<std::wstring> arguments;
};

// What the notification window does for a command.
enum class NotifierAction {
    None,          // cancel the navigation and do nothing else
    Close,         // end the window with exit code 0
    OpenExternal,  // open the first argument in the user's default handler
};

// True when address begins with exactly "command:" (letter case included).
// command then receives the text after the prefix split at "|": runs of "|"
// count as one separator and bars at either end yield no field; with no
// field at all the name is empty. False leaves command untouched.
bool ParseNotifierCommand(const std::wstring& address, CNotifierCommand& command);

// True for an absolute web address: "http://" or "https://" (scheme in any
// letter case) followed by a host, and no blank or control character
// anywhere. Paths, shares, file: and every other scheme are not.
bool IsWebAddress(const std::wstring& address);

// The action for a parsed command: "close" closes, "external" opens its first
// argument when that is a web address, anything else (names compared exactly,
// "external" with any other argument or none) does nothing. What the page asks
// to open comes from the network: only a browser may be handed it.
NotifierAction ChooseNotifierAction(const CNotifierCommand& command);
