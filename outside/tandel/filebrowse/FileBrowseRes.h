#pragma once
#define IDD_CHOOSER 100
#define IDC_PROMPT 101
#define IDC_TREE 102
#define IDC_FILTER 103
#define IDC_PATH 104
