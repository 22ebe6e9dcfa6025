#pragma once

#include "catalogue/Product.h"

#include <windows.h>

#include <string>

// The two products files: the machine products file (products installed for
// all users, beside the local system account's log) and the user products
// file (in the user's local application data folder). Every operation reads
// the file it needs, changes the element tree and writes the whole file back;
// nothing is kept in memory between operations.
//
// Each read-modify-write of a file holds a mutex named after the file, so
// Updater processes of one session that change the same file take turns and
// no change is lost. A file is rewritten durably (WriteFileDurably, through
// the XML layer's SaveFile), so neither an interrupted write nor a power cut
// leaves a truncated or empty file behind.
//
// Status results: S_OK, or E_FAIL for every failure.
class CProductStore {
public:
    // The machine products file is "MachineProducts.xml" in the parent of
    // the Updater's folder, the user products file "UserProducts.xml" in the
    // user's local application data folder (created when missing).
    CProductStore();
    // A store over the two given files.
    CProductStore(const std::wstring& machineProductsPath, const std::wstring& userProductsPath);

    const std::wstring& MachineProductsPath() const { return m_machineProductsPath; }
    const std::wstring& UserProductsPath() const { return m_userProductsPath; }
    // The products file that update checks of this account read: the
    // machine file under the local system account, the user file otherwise.
    const std::wstring& CheckedProductsPath() const;

    // Registers the first "product" element of the file. E_FAIL, with no
    // file changed, when the file can't be read or has no such element.
    HRESULT AddProductFromFile(const std::wstring& path);
    // Adds a copy of the product at the end of the machine products file
    // (needadmin exactly "yes") or the user products file, replacing the
    // first product with the same intname. Creates a missing file first.
    // E_FAIL when the file can't be read or written.
    HRESULT AddProduct(const CProduct& product);
    // Removes the first product with the intname (exact compare) from the
    // user file, then from the machine file. S_OK when it was removed from
    // at least one file and every changed file was written.
    HRESULT RemoveProduct(const std::wstring& intname);
    // Number of products in the file; -1 when it can't be read.
    int CountMachineProducts() const;
    int CountUserProducts() const;
    // Fill a fresh CProducts from the file.
    HRESULT LoadMachineProducts(CProducts& products) const;
    HRESULT LoadUserProducts(CProducts& products) const;
    HRESULT LoadProducts(const std::wstring& path, CProducts& products) const;
    // Writes a products file without products; true when it was written.
    bool CreateEmptyProductsFile(const std::wstring& path) const;

    // True when a product (never a list's prototype) has the intname.
    static bool ContainsProduct(const CProducts& products, const std::wstring& intname);
    // Destroys the first product (never a list's prototype) with the intname
    // and removes it from the list.
    static void RemoveProductEntry(CProducts& products, const std::wstring& intname);

private:
    int CountProducts(const std::wstring& path) const;
    bool WriteProductsFile(const std::wstring& path, const CProducts& products) const;

    std::wstring m_machineProductsPath;
    std::wstring m_userProductsPath;
};
