#include "engine/NotificationFile.h"

#include <gtest/gtest.h>

namespace {

TEST(ComposeNotificationFile, WrapsTheDocumentInAnAlert) {
    EXPECT_EQ("<?xml-stylesheet type='text/xsl' href='C:\\Apps\\Upd/whatsnew.xsl'?>"
              "<alert baseurl='C:\\Apps\\Upd\\'>Fixed</alert>",
              ComposeNotificationFile("C:\\Apps\\Upd", "Fixed"));
}

TEST(ComposeNotificationFile, KeepsBytesAsTheyAre) {
    // A UTF-8 folder name and a document with markup and line ends go in
    // unchanged; the attribute ends with a backslash.
    std::string folder = "C:\\Pr\xC3\xBC" "fung";
    std::string doc = "<p>Neu &amp; besser</p>\r\n<b>x</b>";
    std::string content = ComposeNotificationFile(folder, doc);
    EXPECT_EQ("<?xml-stylesheet type='text/xsl' href='" + folder + "/whatsnew.xsl'?><alert baseurl='" +
                  folder + "\x5C\x27\x3E" + doc + "</alert>",
              content);
    EXPECT_EQ("<?xml-stylesheet type='text/xsl' href='/whatsnew.xsl'?><alert baseurl='\\'></alert>",
              ComposeNotificationFile("", ""));
}

}  // namespace
