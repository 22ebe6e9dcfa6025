#include "catalogue/UninstallActions.h"

#include <new>

CAction::CAction() {
    BindMembers();
}

void CAction::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindString(L"type", type);
    BindString(L"file", file);
    BindString(L"param", param);
}

std::wstring CAction::GetNodeName() const {
    return L"action";
}

MyXML::CMyXMLNode* CAction::CreateNew() const {
    return new (std::nothrow) CAction();  // the constructor binds
}

CUnistallActions::CUnistallActions() {
    BindMembers();
}

void CUnistallActions::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindList(m_Actions, new (std::nothrow) CAction());
}

std::wstring CUnistallActions::GetNodeName() const {
    return L"unistallactions";
}

MyXML::CMyXMLNode* CUnistallActions::CreateNew() const {
    return new (std::nothrow) CUnistallActions();
}
