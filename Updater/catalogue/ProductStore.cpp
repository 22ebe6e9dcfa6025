#include "catalogue/ProductStore.h"

#include "catalogue/MyXMLDocument.h"
#include "system/Files.h"
#include "system/Folders.h"
#include "system/PathMutex.h"
#include "system/RunContext.h"

#include <memory>
#include <new>

namespace {

const wchar_t kMutexPrefix[] = L"quillmarrow_products_";
// Long enough for any number of installers registering at once.
const DWORD kLockWaitMs = 60000;

}  // namespace

CProductStore::CProductStore()
    : m_machineProductsPath(JoinPath(GetExeParentFolder(), L"MachineProducts.xml")),
      m_userProductsPath(JoinPath(GetLocalAppDataFolder(), L"UserProducts.xml")) {}

const std::wstring& CProductStore::CheckedProductsPath() const {
    return IsLocalSystem() ? m_machineProductsPath : m_userProductsPath;
}

CProductStore::CProductStore(const std::wstring& machineProductsPath,
                             const std::wstring& userProductsPath)
    : m_machineProductsPath(machineProductsPath), m_userProductsPath(userProductsPath) {}

HRESULT CProductStore::AddProductFromFile(const std::wstring& path) {
    CProduct product;
    MyXML::CMyXMLDocument doc;
    if (doc.OpenFile(path) != 0 || doc.ReadNode(&product) != 0)
        return E_FAIL;
    return AddProduct(product);
}

HRESULT CProductStore::AddProduct(const CProduct& product) {
    const std::wstring& path =
        product.needadmin == L"yes" ? m_machineProductsPath : m_userProductsPath;
    CPathMutex lock(kMutexPrefix, path, kLockWaitMs);
    if (!lock.Held())
        return E_FAIL;

    if (!FileExists(path) && !CreateEmptyProductsFile(path))
        return E_FAIL;
    CProducts products;
    if (LoadProducts(path, products) != S_OK)
        return E_FAIL;
    RemoveProductEntry(products, product.intname);

    std::unique_ptr<CProduct> copy(new (std::nothrow) CProduct());
    if (!copy)
        return E_FAIL;
    MyXML::CMyXMLDocument doc;
    if (!doc.CopyNode(&product, copy.get()))
        return E_FAIL;
    // Appended after a prototype that may still be there; writers skip it.
    products.m_Products.push_back(copy.release());
    return WriteProductsFile(path, products) ? S_OK : E_FAIL;
}

HRESULT CProductStore::RemoveProduct(const std::wstring& intname) {
    bool removed = false;
    bool writeFailed = false;
    for (const std::wstring* path : {&m_userProductsPath, &m_machineProductsPath}) {
        CPathMutex lock(kMutexPrefix, *path, kLockWaitMs);
        if (!lock.Held())
            continue;
        CProducts products;
        if (LoadProducts(*path, products) != S_OK || !ContainsProduct(products, intname))
            continue;
        RemoveProductEntry(products, intname);
        if (WriteProductsFile(*path, products))
            removed = true;
        else
            writeFailed = true;
    }
    return removed && !writeFailed ? S_OK : E_FAIL;
}

int CProductStore::CountMachineProducts() const {
    return CountProducts(m_machineProductsPath);
}

int CProductStore::CountUserProducts() const {
    return CountProducts(m_userProductsPath);
}

int CProductStore::CountProducts(const std::wstring& path) const {
    CProducts products;
    if (LoadProducts(path, products) != S_OK)
        return -1;
    return static_cast<int>(products.m_Products.RealCount());
}

HRESULT CProductStore::LoadMachineProducts(CProducts& products) const {
    return LoadProducts(m_machineProductsPath, products);
}

HRESULT CProductStore::LoadUserProducts(CProducts& products) const {
    return LoadProducts(m_userProductsPath, products);
}

HRESULT CProductStore::LoadProducts(const std::wstring& path, CProducts& products) const {
    // Taken here too so that a reader never holds the file open while a
    // writer of this session puts the new file in its place.
    CPathMutex lock(kMutexPrefix, path, kLockWaitMs);
    if (!lock.Held())
        return E_FAIL;
    MyXML::CMyXMLDocument doc;
    if (doc.OpenFile(path) != 0)
        return E_FAIL;
    return doc.ReadNode(&products) == 0 ? S_OK : E_FAIL;
}

bool CProductStore::CreateEmptyProductsFile(const std::wstring& path) const {
    CProducts products;
    return WriteProductsFile(path, products);
}

bool CProductStore::ContainsProduct(const CProducts& products, const std::wstring& intname) {
    for (const CProduct* product : products.m_Products) {
        if (product && !product->m_bPrototype && product->intname == intname)
            return true;
    }
    return false;
}

void CProductStore::RemoveProductEntry(CProducts& products, const std::wstring& intname) {
    for (size_t i = 0; i < products.m_Products.size(); ++i) {
        const CProduct* product = products.m_Products[i];
        if (product && !product->m_bPrototype && product->intname == intname) {
            products.m_Products.erase(i);
            return;
        }
    }
}

bool CProductStore::WriteProductsFile(const std::wstring& path, const CProducts& products) const {
    // Writers killed before their rename leave their temporary files behind.
    RemoveStaleTemporarySiblings(path);
    MyXML::CMyXMLDocument doc;
    return doc.SaveFile(&products, path) == 0;
}
