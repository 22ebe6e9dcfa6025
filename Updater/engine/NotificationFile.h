#pragma once

#include <string>

// Content of the notification file the Notifier shows: one line without byte
// order mark or XML declaration,
//   <?xml-stylesheet type='text/xsl' href='FOLDER/whatsnew.xsl'?>
//   <alert baseurl='FOLDER\'>DOCUMENT</alert>
// FOLDER is the Updater's folder in UTF-8 (no trailing backslash), DOCUMENT the
// what's-new document's bytes unchanged. Nothing is escaped.
std::string ComposeNotificationFile(const std::string& folderUtf8, const std::string& document);
