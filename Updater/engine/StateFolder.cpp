#include "engine/StateFolder.h"

#include "catalogue/ProductStore.h"
#include "system/Folders.h"

std::wstring StateFolder() {
    return GetParentFolder(CProductStore().CheckedProductsPath());
}

std::wstring StateFilePath(const std::wstring& name) {
    const std::wstring folder = StateFolder();
    return folder.empty() ? std::wstring() : JoinPath(folder, name);
}
