#pragma once

#include "catalogue/MyXMLNode.h"
#include "catalogue/RegistryActions.h"
#include "catalogue/UninstallActions.h"

#include <string>

// Element "product": one registered product. All attributes are empty when
// absent.
class CProduct : public MyXML::CMyXMLNode {
public:
    CProduct();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    std::wstring intname;       // identity within a products file (exact compare)
    std::wstring friendlyname;  // display name
    std::wstring updateurl;     // manifest address; "{updaterguid}" is replaced before use
    std::wstring version;       // installed version, dotted numbers
    std::wstring productdir;    // installation folder; version folders lie under it
    std::wstring needadmin;     // exactly "yes": machine products file
    std::wstring uninstall;     // path of the product's uninstaller
    // Publisher pins: ";"-separated SHA-256 digests (64 hexadecimal digits)
    // of the public keys its installers may be signed with. Set only from
    // the product description; not written when empty.
    std::wstring signer;
    CUnistallActions m_UnistallActions;  // child "unistallactions"
    CRegistryActions m_RegistryActions;  // child "registryactions"
};

// Element "products": the root of a products file. m_Products holds one
// prototype when the file had no "product"; use RealCount() or skip nodes
// with m_bPrototype set when walking it.
class CProducts : public MyXML::CMyXMLNode {
public:
    CProducts();
    void BindMembers() override;
    std::wstring GetNodeName() const override;
    MyXML::CMyXMLNode* CreateNew() const override;

    MyXML::CNodeList<CProduct> m_Products;
};
