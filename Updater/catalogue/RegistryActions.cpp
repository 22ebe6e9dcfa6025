#include "catalogue/RegistryActions.h"

#include <new>

CKey::CKey() {
    BindMembers();
}

void CKey::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindString(L"action", action);
    BindString(L"root", root);
    BindString(L"key", key);
}

std::wstring CKey::GetNodeName() const {
    return L"key";
}

MyXML::CMyXMLNode* CKey::CreateNew() const {
    return new (std::nothrow) CKey();  // the constructor binds
}

CValue::CValue() {
    BindMembers();
}

void CValue::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindString(L"action", action);
    BindString(L"root", root);
    BindString(L"key", key);
    BindString(L"name", name);
}

std::wstring CValue::GetNodeName() const {
    return L"value";
}

MyXML::CMyXMLNode* CValue::CreateNew() const {
    return new (std::nothrow) CValue();
}

CRegistryActions::CRegistryActions() {
    BindMembers();
}

void CRegistryActions::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindList(m_Keys, new (std::nothrow) CKey());
    BindList(m_Values, new (std::nothrow) CValue());
}

std::wstring CRegistryActions::GetNodeName() const {
    return L"registryactions";
}

MyXML::CMyXMLNode* CRegistryActions::CreateNew() const {
    return new (std::nothrow) CRegistryActions();
}
