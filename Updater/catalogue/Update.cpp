#include "catalogue/Update.h"

#include <new>

CUpdate::CUpdate() {
    BindMembers();
}

void CUpdate::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindString(L"intname", intname);
    BindString(L"version", version);
    BindString(L"installerurl", installerurl);
    BindString(L"whatsnewurl", whatsnewurl);
    BindString(L"sha256", sha256);
    BindString(L"size", size);
    BindString(L"expires", expires);
    BindString(L"issued", issued);
    BindString(L"whatsnewsha256", whatsnewsha256);
    BindString(L"rollout", rollout);
    BindString(L"reporturl", reporturl);
}

std::wstring CUpdate::GetNodeName() const {
    return L"update";
}

MyXML::CMyXMLNode* CUpdate::CreateNew() const {
    return new (std::nothrow) CUpdate();
}
