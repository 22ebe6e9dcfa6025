#pragma once

// Resource ids of notifier.exe.
#define IDI_NOTIFIER 128
#define IDD_MAINDLG 129
#define IDC_BROWSER 1000
