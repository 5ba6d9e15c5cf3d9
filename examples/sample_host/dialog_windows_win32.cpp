// Dialogs 706 and 10100 as windows, from the templates that Pemrik hands
// out. Modeless, so that both show at once.
#include <windows.h>
// After <windows.h>, which it needs.
#include <commctrl.h>
#include <stdio.h>

#include <optional>
#include <string>

#include "ansi_text.h"
#include "dialog_windows.h"
#include "resource_formats.h"

namespace {

constexpr WORD kBrowserDialog = 706, kAboutBox = 10100;
constexpr int kToolbar = 2364, kAddressBox = 1401;
constexpr UINT kCommandTexts[] = {20385, 20365};
constexpr UINT kAddresses[] = {279, 298};

int open_dialogs = 0;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) != IDOK && LOWORD(wparam) != IDCANCEL) break;
      DestroyWindow(dialog);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      if (--open_dialogs == 0) PostQuitMessage(0);
      return TRUE;
  }
  return FALSE;
}

// What the host puts into the browser dialog: a toolbar button for each
// command, labelled with line 2 of its command text (the last line, for a
// text of two lines), and the opening page's addresses to choose from.
void FillBrowserDialog(HWND dialog, CPemrik0& pemrik) {
  HWND toolbar = GetDlgItem(dialog, kToolbar);
  SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageA(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  for (UINT id : kCommandTexts) {
    std::string label = pemrik.GetTextLine(id, 2);
    label.push_back('\0');  // a list of strings, ended by an empty one
    TBBUTTON button = {};
    button.iBitmap = I_IMAGENONE;
    button.idCommand = static_cast<int>(id);
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    button.iString = SendMessageA(toolbar, TB_ADDSTRINGA, 0,
                                  reinterpret_cast<LPARAM>(label.c_str()));
    SendMessageA(toolbar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&button));
  }
  HWND addresses = GetDlgItem(dialog, kAddressBox);
  for (UINT id : kAddresses)
    SendMessageA(addresses, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(pemrik.GetText(id)));
  SendMessageA(addresses, CB_SETCURSEL, 0, 0);
}

// The dialog as shown: caption, client area and each control, with where
// the template puts it, converted from dialog units by the dialog's font.
void PrintLayout(HWND dialog, WORD id, const DialogTemplateEx& t) {
  WCHAR caption[256] = L"";
  GetWindowTextW(dialog, caption, 256);
  RECT client, units = {0, 0, t.cx, t.cy};
  GetClientRect(dialog, &client);
  MapDialogRect(dialog, &units);
  printf("\nDialog %u open: caption %s\n", id,
         AnsiFromUtf16(reinterpret_cast<const char16_t*>(caption)).c_str());
  printf(
      "  client area %ld x %ld pixels; the template's %d x %d units are "
      "%ld x %ld\n",
      client.right, client.bottom, t.cx, t.cy, units.right, units.bottom);
  printf("  %7s  %-16s %-8s %-21s %s\n", "id", "class", "shown", "at (pixels)",
         "template (pixels)");
  HWND control = GetWindow(dialog, GW_CHILD);
  for (const DialogControl& c : t.controls) {
    if (control == nullptr) {
      printf("  %7d  missing\n", static_cast<int>(c.id));
      continue;
    }
    char class_name[64] = "";
    GetClassNameA(control, class_name, sizeof class_name);
    RECT at;
    GetWindowRect(control, &at);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&at), 2);
    RECT wanted = {c.x, c.y, c.x + c.cx, c.y + c.cy};
    MapDialogRect(dialog, &wanted);
    char where[32], template_where[32];
    snprintf(where, sizeof where, "%ld, %ld, %ld x %ld", at.left, at.top,
             at.right - at.left, at.bottom - at.top);
    snprintf(template_where, sizeof template_where, "%ld, %ld, %ld x %ld",
             wanted.left, wanted.top, wanted.right - wanted.left,
             wanted.bottom - wanted.top);
    printf("  %7d  %-16s %-8s %-21s %s\n",
           static_cast<int>(GetDlgCtrlID(control)), class_name,
           IsWindowVisible(control) ? "yes" : "hidden", where, template_where);
    control = GetWindow(control, GW_HWNDNEXT);
  }
}

// Creates dialog id from the template that Pemrik hands out, hidden as its
// style says; decoded receives the template.
HWND CreateFromTemplate(CPemrik0& pemrik, WORD id, DialogTemplateEx* decoded) {
  HGLOBAL block =
      pemrik.CopyResourceData(MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
  const void* data = block != nullptr ? GlobalLock(block) : nullptr;
  if (data == nullptr) {
    fprintf(stderr, "dialog %u: no template\n", id);
    if (block != nullptr) GlobalFree(block);
    return nullptr;
  }
  std::optional<DialogTemplateEx> read = DecodeDialogEx(
      ByteSpan(static_cast<const uint8_t*>(data), GlobalSize(block)));
  // The host's own instance: the about box's icon 128 is the host's.
  HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                           static_cast<LPCDLGTEMPLATEA>(data),
                                           nullptr, DialogProc, 0);
  GlobalUnlock(block);
  GlobalFree(block);
  if (dialog == nullptr || !read) {
    fprintf(stderr, "dialog %u: cannot be created\n", id);
    if (dialog != nullptr) DestroyWindow(dialog);
    return nullptr;
  }
  ++open_dialogs;
  *decoded = std::move(*read);
  if (id == kBrowserDialog) FillBrowserDialog(dialog, pemrik);
  return dialog;
}

}  // namespace

bool ShowDialogs(CPemrik0& pemrik) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);  // the toolbars' window class

  DialogTemplateEx browser_template, about_template;
  HWND browser = CreateFromTemplate(pemrik, kBrowserDialog, &browser_template);
  HWND about = browser != nullptr
                   ? CreateFromTemplate(pemrik, kAboutBox, &about_template)
                   : nullptr;
  if (about == nullptr) {
    if (browser != nullptr) DestroyWindow(browser);
    return false;
  }
  // Both templates place their dialog at 0, 0; the about box goes below.
  RECT below;
  GetWindowRect(browser, &below);
  SetWindowPos(about, nullptr, below.left, below.bottom + 16, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(browser, SW_SHOW);
  ShowWindow(about, SW_SHOW);
  PrintLayout(browser, kBrowserDialog, browser_template);
  PrintLayout(about, kAboutBox, about_template);
  fflush(stdout);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(browser, &message) ||
        IsDialogMessageA(about, &message))
      continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}
