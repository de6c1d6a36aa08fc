#include "ui/ToolboxInstallWin32View.h"

#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

#include "system/port/Port.h"

namespace VLN2 {

namespace {

// The longest text taken from a field or the picker, in UTF-16 units (MAX_PATH and more).
constexpr int kWideTextUnits = 1024;

// Page pictures in the order of pictures_.
const int kPictureIds[] = {IDB_PAGE_3DSMAX, IDB_PAGE_ARCHICAD, IDB_PAGE_CINEMA4D,
                           IDB_PAGE_MICROSTATION, IDB_PAGE_SDK};
// Small icons, image list order: 3D Studio Max, ArchiCAD, Cinema 4D, MicroStation, SDK.
const int kIconIds[] = {IDB_ICON_3DSMAX, IDB_ICON_ARCHICAD, IDB_ICON_CINEMA4D,
                        IDB_ICON_MICROSTATION, IDB_ICON_SDK};

}  // namespace

void ToolboxInstallWin32View::Attach(WindowHandle dialog, void* module) {
  dialog_ = dialog;
  // A null module would make LoadBitmapA look among the system's own bitmaps.
  module_ = module ? module : GetModuleHandleA(nullptr);
}

void ToolboxInstallWin32View::DeleteObjects() {
  for (HBITMAP& picture : pictures_) {
    if (picture) DeleteObject(picture);
    picture = nullptr;
  }
  if (pageBrush_) DeleteObject(pageBrush_);
  if (pageBitmap_) DeleteObject(pageBitmap_);
  pageBrush_ = nullptr;
  pageBitmap_ = nullptr;
}

HBRUSH ToolboxInstallWin32View::PageBackground(WindowHandle control, HDC dc) {
  HWND tab = GetDlgItem(dialog_, IDC_TABS);
  RECT page, rect;
  if (!tab || control == tab || !GetWindowRect(tab, &page) || !GetWindowRect(control, &rect))
    return nullptr;
  if (rect.left < page.left || rect.top < page.top || rect.right > page.right ||
      rect.bottom > page.bottom)
    return nullptr;
  if (!pageBrush_) {
    // The tab strip paints itself into a bitmap, which becomes the pattern of the brush.
    int width = page.right - page.left;
    int height = page.bottom - page.top;
    HDC screen = GetDC(tab);
    HDC memory = CreateCompatibleDC(screen);
    pageBitmap_ = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(tab, screen);
    if (!memory || !pageBitmap_) {
      if (memory) DeleteDC(memory);
      return nullptr;
    }
    HGDIOBJ old = SelectObject(memory, pageBitmap_);
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, GetSysColorBrush(COLOR_BTNFACE));
    SendMessageA(tab, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                 PRF_CLIENT | PRF_ERASEBKGND);
    SelectObject(memory, old);
    DeleteDC(memory);
    pageBrush_ = CreatePatternBrush(pageBitmap_);
    if (!pageBrush_) return nullptr;
  }
  // Line the pattern up with the tab strip.
  SetBrushOrgEx(dc, page.left - rect.left, page.top - rect.top, nullptr);
  SetBkMode(dc, TRANSPARENT);
  return pageBrush_;
}

void ToolboxInstallWin32View::SetControlText(int id, const char* text) {
  SendDlgItemMessageA(dialog_, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

namespace {

// Wide text of the system as the program's 8-bit text in buffer (size bytes with the NUL):
// whole, or refused with the reason.
ToolboxInstallView::Taken TakeText(const wchar_t* wide, int units, char* buffer, int size) {
  // Converted with room to spare first, so that a name too long for the caller is told from
  // one that cannot be converted: a UTF-16 unit gives at most three bytes.
  char converted[kWideTextUnits * 3];
  std::uint32_t length = sizeof converted;
  if (units > kWideTextUnits ||
      !Port::FromWideText(reinterpret_cast<const std::uint16_t*>(wide),
                          static_cast<std::uint32_t>(units), converted, &length))
    return units > kWideTextUnits ? ToolboxInstallView::Taken::kTooLong
                                  : ToolboxInstallView::Taken::kUnnamable;
  if (size <= 0 || length + 1 > static_cast<std::uint32_t>(size))
    return ToolboxInstallView::Taken::kTooLong;
  std::memcpy(buffer, converted, length);
  buffer[length] = '\0';
  return ToolboxInstallView::Taken::kWhole;
}

}  // namespace

// Wide, so that a folder typed outside the process code page is refused, not replaced by a
// look-alike, and a long one is refused, not cut.
ToolboxInstallView::Taken ToolboxInstallWin32View::GetControlText(int id, char* buffer, int size) {
  if (size > 0) buffer[0] = '\0';
  wchar_t wide[kWideTextUnits + 1] = {};
  HWND control = GetDlgItem(dialog_, id);
  int units = control ? GetWindowTextLengthW(control) : 0;
  if (units > kWideTextUnits) return Taken::kTooLong;
  if (units > 0) units = GetWindowTextW(control, wide, kWideTextUnits + 1);
  Taken taken = TakeText(wide, units, buffer, size);
  if (taken != Taken::kWhole && size > 0) buffer[0] = '\0';
  return taken;
}

void ToolboxInstallWin32View::SetChecked(int id, bool checked) {
  CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool ToolboxInstallWin32View::IsChecked(int id) {
  return IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

void ToolboxInstallWin32View::ShowControl(int id, bool show) {
  HWND control = GetDlgItem(dialog_, id);
  if (control) ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

void ToolboxInstallWin32View::EnableControl(int id, bool enable) {
  HWND control = GetDlgItem(dialog_, id);
  if (control) EnableWindow(control, enable);
}

void ToolboxInstallWin32View::PrepareControls() {
  auto module = static_cast<HINSTANCE>(module_);
  for (int i = 0; i < kPictureCount; ++i)
    pictures_[i] = LoadBitmapA(module, MAKEINTRESOURCEA(kPictureIds[i]));

  HWND list = GetDlgItem(dialog_, IDC_OVERVIEW);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);

  // The list view owns the image list and destroys it with itself; the tab strip borrows it.
  HIMAGELIST icons = ImageList_Create(16, 16, ILC_COLOR8 | ILC_MASK, 3, 1);
  if (!icons) return;
  for (int id : kIconIds) {
    HBITMAP icon = LoadBitmapA(module, MAKEINTRESOURCEA(id));
    if (!icon) continue;
    ImageList_Add(icons, icon, nullptr);
    DeleteObject(icon);
  }
  SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons));
  SendDlgItemMessageA(dialog_, IDC_TABS, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(icons));
}

void ToolboxInstallWin32View::SetPicture(int id, int bitmapId) {
  for (int i = 0; i < kPictureCount; ++i) {
    if (kPictureIds[i] != bitmapId || !pictures_[i]) continue;
    SendDlgItemMessageA(dialog_, id, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(pictures_[i]));
  }
}

void ToolboxInstallWin32View::AddListColumn(int column, const char* text, int width) {
  LVCOLUMNA description = {};
  description.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  description.cx = width;
  description.pszText = const_cast<char*>(text);
  description.iSubItem = column;
  SendDlgItemMessageA(dialog_, IDC_OVERVIEW, LVM_INSERTCOLUMNA, column,
                      reinterpret_cast<LPARAM>(&description));
}

void ToolboxInstallWin32View::ClearList() {
  SendDlgItemMessageA(dialog_, IDC_OVERVIEW, LVM_DELETEALLITEMS, 0, 0);
}

void ToolboxInstallWin32View::AddListRow(int row, const char* text, int icon, const char* folder) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = row;
  item.pszText = const_cast<char*>(text);
  item.iImage = icon;
  SendDlgItemMessageA(dialog_, IDC_OVERVIEW, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  LVITEMA second = {};
  second.mask = LVIF_TEXT;
  second.iItem = row;
  second.iSubItem = 1;
  second.pszText = const_cast<char*>(folder);
  SendDlgItemMessageA(dialog_, IDC_OVERVIEW, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&second));
}

void ToolboxInstallWin32View::AddTab(int index, const char* text, int icon) {
  TCITEMA tab = {};
  tab.mask = TCIF_TEXT | (icon >= 0 ? TCIF_IMAGE : 0);
  tab.pszText = const_cast<char*>(text);
  tab.iImage = icon;
  SendDlgItemMessageA(dialog_, IDC_TABS, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&tab));
}

// Wide, for the same reasons as the fields.
ToolboxInstallView::Taken ToolboxInstallWin32View::BrowseForFolder(const char* title, char* path,
                                                                   int size) {
  std::uint16_t wideTitle[128];
  std::uint32_t units = sizeof wideTitle / sizeof *wideTitle - 1;
  if (!Port::ToWideText(Port::kProcessCodePage, title,
                        static_cast<std::uint32_t>(std::strlen(title)), wideTitle, &units))
    units = 0;
  wideTitle[units] = 0;
  wchar_t name[MAX_PATH] = {};
  BROWSEINFOW browse = {};
  browse.hwndOwner = dialog_;
  browse.pidlRoot = nullptr;  // the top of the shell's namespace
  browse.pszDisplayName = name;
  browse.lpszTitle = reinterpret_cast<const wchar_t*>(wideTitle);
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (!chosen) return Taken::kNothing;
  wchar_t folder[MAX_PATH] = {};
  bool found = SHGetPathFromIDListW(chosen, folder) && folder[0];
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    allocator->Free(chosen);
    allocator->Release();
  }
  if (!found) return Taken::kNothing;
  return TakeText(folder, lstrlenW(folder), path, size);
}

void ToolboxInstallWin32View::EndForm(int result) { EndDialog(dialog_, result); }

}  // namespace VLN2
