#include "catalogue/Product.h"

#include <new>

CProduct::CProduct() {
    BindMembers();
}

void CProduct::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindString(L"intname", intname);
    BindString(L"friendlyname", friendlyname);
    BindString(L"updateurl", updateurl);
    BindString(L"version", version);
    BindString(L"productdir", productdir);
    BindString(L"needadmin", needadmin);
    BindString(L"uninstall", uninstall);
    BindOptionalString(L"signer", signer);
    // The embedded children are reset with the product, so that reading a
    // product without these elements never keeps actions of an earlier read.
    m_UnistallActions.BindMembers();
    m_RegistryActions.BindMembers();
    BindChild(L"unistallactions", m_UnistallActions);
    BindChild(L"registryactions", m_RegistryActions);
}

std::wstring CProduct::GetNodeName() const {
    return L"product";
}

MyXML::CMyXMLNode* CProduct::CreateNew() const {
    return new (std::nothrow) CProduct();  // the constructor binds
}

CProducts::CProducts() {
    BindMembers();
}

void CProducts::BindMembers() {
    ClearRegistrations();
    m_pText = nullptr;
    BindList(m_Products, new (std::nothrow) CProduct());
}

std::wstring CProducts::GetNodeName() const {
    return L"products";
}

MyXML::CMyXMLNode* CProducts::CreateNew() const {
    return new (std::nothrow) CProducts();
}
