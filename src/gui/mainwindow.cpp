#include "gui/mainwindow.h"

#include "app/installdialog.h"
#include "app/servicecontrol.h"
#include "base/file.h"
#include "gui/helplinks.h"
#include "gui/messagebox.h"
#include "gui/openaddress.h"
#include "settings/settings.h"
#include "web/weblet.h"

#include <cstdio>
#include <gdk/gdkkeysyms.h>
#include <iterator>

#include "gui/setdlg.h"

namespace {

constexpr int kMinWidth = 280;
constexpr int kMinHeight = 225;

struct LMenuEntry {
  const char* label;  // null: a separator
  int command;
};

// The main menu's "&Velorin" pop-up.
constexpr LMenuEntry kMainMenu[] = {
    {"_Connect", kCmConnect},
    {"_Settings...", kCmSettings},
    {"_View Logs", kCmViewLogs},
};

// The tray's menu; the first item is the default.
constexpr LMenuEntry kTrayMenu[] = {
    {"_Open Velorin", kCmOpen},
    {nullptr, 0},
    {"Exit (Close to Tray)", kCmCloseToTray},
    {"E_xit (Stop Server)", kCmExitStopServer},
};

struct LAccelEntry {
  int command;
  guint key;
  GdkModifierType modifiers;
};

constexpr LAccelEntry kAccelerators[] = {
    {kCmConnect, GDK_c, GDK_CONTROL_MASK},
    {kCmSettings, GDK_s, GDK_CONTROL_MASK},
    {kCmHelpContents, GDK_F1, GdkModifierType(0)},
};

void AddMenuItems(GtkWidget* menu, const LMenuEntry* entries, std::size_t count, GCallback callback, gpointer self,
                  GtkAccelGroup* accel)
{
  for (std::size_t i = 0; i < count; ++i) {
    const LMenuEntry& entry = entries[i];
    GtkWidget* item =
        entry.label == nullptr ? gtk_separator_menu_item_new() : gtk_menu_item_new_with_mnemonic(entry.label);
    if (entry.label != nullptr) {
      g_object_set_data(G_OBJECT(item), "velorin-command", GINT_TO_POINTER(entry.command));
      g_signal_connect(item, "activate", callback, self);
      for (const LAccelEntry& a : kAccelerators)
        if (accel != nullptr && a.command == entry.command)
          gtk_widget_add_accelerator(item, "activate", accel, a.key, a.modifiers, GTK_ACCEL_VISIBLE);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
}

}  // namespace

MainDialog::MainDialog() = default;

MainDialog::~MainDialog()
{
  tray_.Remove();
  if (trayMenu_ != nullptr)
    gtk_widget_destroy(trayMenu_);
  if (GetGtkWindow() != nullptr)
    gtk_widget_destroy(GTK_WIDGET(GetGtkWindow()));
}

int MainDialog::Run(int argc, const char* const* argv)
{
  // A program that was not installed by the installer gets its menu entry
  // on its first desktop start, once.
  if (!LSettingGet(VLKeys::Installed)) {
    InstallDialog::AddDesktopShortCut();
    LSettingSet(VLKeys::Installed, true);
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  SetGtkWindow(GTK_WINDOW(window));
  gtk_window_set_title(GTK_WINDOW(window), "Velorin");
  gtk_widget_add_events(window, GDK_ALL_EVENTS_MASK);
  char icon[260];
  gtk_window_set_icon_from_file(GTK_WINDOW(window), GetResourcePath(1, icon), nullptr);
  g_signal_connect(window, "delete-event", G_CALLBACK(GSDelete), this);
  g_signal_connect(window, "window-state-event", G_CALLBACK(GSWindowState), this);
  GtkAccelGroup* accel = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(window), accel);

  GtkWidget* box = gtk_vbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  gtk_box_pack_start(GTK_BOX(box), BuildMenu(accel), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), BuildToolBar(), FALSE, FALSE, 0);
  GtkTextView* view = nullptr;
  GtkWidget* pane = LStatusWindow::CreateStatusView(&view);
  AddControl(kIdStatusPane, GTK_WIDGET(view));
  gtk_box_pack_start(GTK_BOX(box), pane, TRUE, TRUE, 0);
  statusBar_ = gtk_statusbar_new();
  gtk_box_pack_start(GTK_BOX(box), statusBar_, FALSE, FALSE, 0);
  g_object_unref(accel);

  GdkGeometry hints = {};
  hints.min_width = kMinWidth;
  hints.min_height = kMinHeight;
  gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints, GDK_HINT_MIN_SIZE);
  RestoreGeometry();

  InitDialog();
  messageCounter_ = tray_.Add(*this) + 1;

  EvRunArguments(argv, argc);
  gtk_widget_show_all(window);
  gtk_main();
  DestroyDialog();
  return 0;
}

GtkWidget* MainDialog::BuildMenu(GtkAccelGroup* accel)
{
  GtkWidget* bar = gtk_menu_bar_new();
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_set_accel_group(GTK_MENU(menu), accel);
  AddMenuItems(menu, kMainMenu, std::size(kMainMenu), G_CALLBACK(GSMenuItem), this, accel);
  GtkWidget* top = gtk_menu_item_new_with_mnemonic("_Velorin");
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);

  GtkWidget* help = gtk_menu_new();
  gtk_menu_set_accel_group(GTK_MENU(help), accel);
  for (const LHelpLink& link : kHelpLinks) {
    LMenuEntry entry = {link.label, link.command};
    AddMenuItems(help, &entry, 1, G_CALLBACK(GSMenuItem), this, accel);
  }
  GtkWidget* helpTop = gtk_menu_item_new_with_mnemonic("_Help");
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(helpTop), help);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), helpTop);
  return bar;
}

GtkWidget* MainDialog::BuildToolBar()
{
  struct LToolEntry {
    const char* label;
    const char* tip;
    int image;
    int command;
  };
  static constexpr LToolEntry kTools[] = {
      {"Connect", "Connect on this local computer (for testing)", 3, kCmConnect},
      {"Settings", "Adjust settings and options (Ctrl+S)", 2, kCmSettings},
  };
  GtkWidget* bar = gtk_toolbar_new();
  gtk_toolbar_set_style(GTK_TOOLBAR(bar), GTK_TOOLBAR_BOTH_HORIZ);
  for (const LToolEntry& tool : kTools) {
    char path[260];
    GtkWidget* image = gtk_image_new_from_file(GetResourcePath(tool.image, path));
    GtkToolItem* item = gtk_tool_button_new(image, tool.label);
    gtk_tool_item_set_is_important(item, TRUE);
    gtk_widget_set_tooltip_text(GTK_WIDGET(item), tool.tip);
    g_object_set_data(G_OBJECT(item), "velorin-command", GINT_TO_POINTER(tool.command));
    g_signal_connect(item, "clicked", G_CALLBACK(GSMenuItem), this);
    gtk_toolbar_insert(GTK_TOOLBAR(bar), item, -1);
  }
  return bar;
}

bool MainDialog::InitDialog()
{
  log_.Init(GTK_TEXT_VIEW(GetControl(kIdStatusPane)));
  proxy_.Start();
  return true;
}

void MainDialog::DestroyDialog()
{
  proxy_.Stop();
}

void MainDialog::EvRunArguments(const char* const*, int) {}

void MainDialog::CmOpen()
{
  GtkWindow* window = GetGtkWindow();
  gtk_window_deiconify(window);
  gtk_window_present(window);
}

bool MainDialog::IsVisible() const
{
  return GetGtkWindow() != nullptr && gtk_widget_get_visible(GTK_WIDGET(GetGtkWindow()));
}

bool MainDialog::CmCancel()
{
  switch (PopupBoxQueryYesNoCancel(GetGtkWindow(), "Do you want Velorin to continue to operate in the background?",
                                   "Confirm Stop")) {
  case LAnswer::Yes: CmClose(); return false;
  case LAnswer::No: return true;
  case LAnswer::Cancel: break;
  }
  return false;
}

void MainDialog::CmClose()
{
  StoreGeometry();
  gtk_widget_hide(GTK_WIDGET(GetGtkWindow()));
}

void MainDialog::CmExit()
{
  if (!CmCancel())
    return;
  LServiceStop();
  tray_.Remove();
  g_idle_add(&MainDialog::GSQuit, this);
}

gboolean MainDialog::GSQuit(gpointer)
{
  gtk_main_quit();
  return FALSE;
}

void MainDialog::Command(int id)
{
  switch (id) {
  case kCmConnect: {
    char address[64];
    std::snprintf(address, sizeof address, "http://localhost:%d", LWebletServer::GetWebletServerPort());
    LOpenAddress(address);
    break;
  }
  case kCmSettings:
    RunSettingsDialog(GetGtkWindow());
    // Whatever closed the dialog: its Live page writes at once.
    proxy_.CtlRestart();
    break;
  case kCmViewLogs: LOpenAddress(gLLog.GetLogFolder()); break;
  case kCmOpen: CmOpen(); break;
  case kCmCloseToTray: CmClose(); break;
  case kCmExitStopServer: CmExit(); break;
  default: LRunHelpCommand(id, this); break;
  }
}

void MainDialog::EvNotifyIconContextMenu(guint button, guint32 time)
{
  if (trayMenu_ == nullptr) {
    trayMenu_ = gtk_menu_new();
    AddMenuItems(trayMenu_, kTrayMenu, std::size(kTrayMenu), G_CALLBACK(GSMenuItem), this, nullptr);
    // The default item is shown in bold.
    GList* children = gtk_container_get_children(GTK_CONTAINER(trayMenu_));
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(children->data));
    gchar* markup = g_markup_printf_escaped("<b>%s</b>", gtk_label_get_label(GTK_LABEL(label)));
    gtk_label_set_markup_with_mnemonic(GTK_LABEL(label), markup);
    g_free(markup);
    g_list_free(children);
    gtk_widget_show_all(trayMenu_);
  }
  gtk_menu_popup(GTK_MENU(trayMenu_), nullptr, nullptr, nullptr, nullptr, button, time);
}

void MainDialog::EvTrayLeftClick()
{
  if (!IsVisible())
    Command(kCmOpen);
}

void MainDialog::EvTrayRightClick(guint button, guint32 time)
{
  EvNotifyIconContextMenu(button, time);
}

void MainDialog::EvTrayClosed()
{
  gtk_main_quit();
}

void MainDialog::RestoreGeometry()
{
  GtkWindow* window = GetGtkWindow();
  int x = LUserSettingGetInt("MainWindow", "X", 160);
  int y = LUserSettingGetInt("MainWindow", "Y", 80);
  int width = LUserSettingGetInt("MainWindow", "Width", 300);
  int height = LUserSettingGetInt("MainWindow", "Height", 250);
  gtk_window_move(window, x, y);
  gtk_window_set_default_size(window, width < kMinWidth ? kMinWidth : width, height < kMinHeight ? kMinHeight : height);
  if (LUserSettingGetBool("MainWindow", "Maximized", false))
    gtk_window_maximize(window);
}

void MainDialog::StoreGeometry()
{
  GtkWindow* window = GetGtkWindow();
  LUserSettingSetBool("MainWindow", "Maximized", maximized_);
  if (maximized_ || !IsVisible())
    return;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  gtk_window_get_position(window, &x, &y);
  gtk_window_get_size(window, &width, &height);
  LUserSettingSetInt("MainWindow", "X", x);
  LUserSettingSetInt("MainWindow", "Y", y);
  LUserSettingSetInt("MainWindow", "Width", width);
  LUserSettingSetInt("MainWindow", "Height", height);
}

gboolean MainDialog::GSDelete(GtkWidget*, GdkEvent*, gpointer self)
{
  static_cast<MainDialog*>(self)->CmClose();
  return TRUE;  // never destroyed by the window manager
}

gboolean MainDialog::GSWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self)
{
  static_cast<MainDialog*>(self)->maximized_ = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  return FALSE;
}

void MainDialog::GSMenuItem(GtkMenuItem* item, gpointer self)
{
  static_cast<MainDialog*>(self)->Command(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "velorin-command")));
}
