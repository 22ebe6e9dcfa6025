#include "engine/NotificationFile.h"

std::string ComposeNotificationFile(const std::string& folderUtf8, const std::string& document) {
    std::string content;
    content.reserve(folderUtf8.size() * 2 + document.size() + 96);
    content += "<?xml-stylesheet type='text/xsl' href='";
    content += folderUtf8;
    content += "/whatsnew.xsl'?>";
    content += "<alert baseurl='";
    content += folderUtf8;
    content += "\\'>";
    content += document;
    content += "</alert>";
    return content;
}
