#pragma once

#include "catalogue/MyXMLNode.h"

#include <string>

// Element "action": one uninstall action of a product. All attributes are
// empty when absent.
class CAction : public MyXML::CMyXMLNode {
public:
    CAction();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    std::wstring type;   // "unregsvr", "unregexe", "kill" or "run"; else nothing happens
    std::wstring file;   // relative to the version folder; for "kill" the image name
    std::wstring param;  // parameters for "run"
};

// Element "unistallactions": the product's uninstall actions in document
// order. m_Actions holds one prototype when the element had no "action".
class CUnistallActions : public MyXML::CMyXMLNode {
public:
    CUnistallActions();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    MyXML::CNodeList<CAction> m_Actions;
};
