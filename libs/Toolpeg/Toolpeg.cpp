// Toolpeg.dll: moves a product's toolbar button to the front of the current
// user's Internet Explorer 7 or 8 command bar. Product installers call it
// after registering their button; it keeps no state and reports nothing.

#include "CommandBarRegistry.h"
#include "toolpeg/ButtonCatalogue.h"
#include "toolpeg/CommandBarGeneration.h"
#include "toolpeg/CommandBarLayout.h"

#include <windows.h>

// buttonKey: the button's key name under "SOFTWARE\Microsoft\Internet
// Explorer\Extensions", spelled as registered. The result carries no status;
// it is always 0.
extern "C" DWORD WINAPI MoveButtonFront(LPCWSTR buttonKey) {
    if (!buttonKey)
        return 0;
    const CCommandBarGeneration* generation =
        FindCommandBarGeneration(BrowserGenerationFromVersion(ReadBrowserVersion()));
    if (!generation)
        return 0;

    CButtonCatalogue catalogue = BuildButtonCatalogue(ReadExtensionKeys(HKEY_CURRENT_USER),
                                                      ReadExtensionKeys(HKEY_LOCAL_MACHINE),
                                                      generation->firstExtensionId);
    std::vector<uint8_t> storedBytes;
    CCommandBarLayout stored;
    if (ReadStoredLayoutValue(generation->layoutValueName, storedBytes))
        stored = DecodeLayoutValue(storedBytes);

    CCommandBarLayout layout;
    if (ComputeCommandBarLayout(stored, catalogue, buttonKey, generation->generation, layout))
        WriteLayoutValue(generation->layoutValueName, EncodeLayoutValue(layout));
    return 0;
}
