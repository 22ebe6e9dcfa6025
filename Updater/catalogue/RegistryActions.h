#pragma once

#include "catalogue/MyXMLNode.h"

#include <string>

// Element "key": a registry key action. All attributes are empty when absent.
class CKey : public MyXML::CMyXMLNode {
public:
    CKey();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    std::wstring action;  // "delete": remove the key with its subkeys
    std::wstring root;    // "HKLM" or "HKCU"
    std::wstring key;     // path below the root
};

// Element "value": a registry value action. All attributes are empty when
// absent.
class CValue : public MyXML::CMyXMLNode {
public:
    CValue();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    std::wstring action;  // "delete" or "preserve"
    std::wstring root;    // "HKLM" or "HKCU"
    std::wstring key;     // path of the key holding the value
    std::wstring name;    // value name; empty names the default value
};

// Element "registryactions": key and value actions, each list in document
// order. Each list holds one prototype when the element had none of its kind.
class CRegistryActions : public MyXML::CMyXMLNode {
public:
    CRegistryActions();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    MyXML::CNodeList<CKey> m_Keys;
    MyXML::CNodeList<CValue> m_Values;
};
