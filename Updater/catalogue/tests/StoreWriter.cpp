// Registers one product file with the default product store.
// Exit code 0 when the store reported success, 1 otherwise, 2 on bad usage.
#include "catalogue/ProductStore.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 2;
    CProductStore store;
    return SUCCEEDED(store.AddProductFromFile(argv[1])) ? 0 : 1;
}
