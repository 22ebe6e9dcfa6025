#include "engine/UpdaterId.h"

const wchar_t kUpdaterIdKey[] = L"Software\\QuillMarrow\\Updater";
const wchar_t kUpdaterIdValue[] = L"UserID";
