#pragma once

#include "catalogue/MyXMLNode.h"

#include <string>

// Element "update": the update manifest a product's updateurl points to. All
// attributes are empty when absent. The Updater only reads it. A signed
// manifest (for a product with publisher pins) carries all of intname,
// sha256, size, issued and expires; an unsigned one may leave them out.
class CUpdate : public MyXML::CMyXMLNode {
public:
    CUpdate();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    std::wstring intname;       // part of the installer's file name
    std::wstring version;       // version offered
    std::wstring installerurl;  // its digest lies at this address + ".md5"
    std::wstring whatsnewurl;   // page shown after a successful update
    std::wstring sha256;        // the installer's SHA-256, 64 hexadecimal digits
    std::wstring size;          // the installer's length in bytes, decimal
    std::wstring expires;       // "YYYY-MM-DDThh:mm:ssZ": refused after this time
    std::wstring issued;        // "YYYY-MM-DDThh:mm:ssZ": when its publisher signed it
    std::wstring whatsnewsha256;  // the what's-new document's SHA-256, 64 hexadecimal digits
    std::wstring rollout;       // percentage of machines that take the version, 0-100
    std::wstring reporturl;     // where install results are reported (signed manifests)
};
