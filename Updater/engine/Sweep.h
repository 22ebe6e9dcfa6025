#pragma once

// Removes what checks that were killed left behind (system/Leftovers.h) and
// nobody uses any more: staged installers' folders in the temporary folder,
// notification files in the common application data folder, and temporary
// siblings of the state files and the products file beside them. What a
// running check or Notifier holds open can't be removed and stays. Call it
// at the start of a check, while holding the products file's check lock.
void SweepLeftovers();
