// Context help of the main window: which topic the help key opens, and the help hook's life.
#include <map>

#include "app/TfrmMain.h"
#include "help/HelpViewer.h"

namespace quorle {

void TfrmMain::CreateHelpHook() {
  // The trace file belongs to the window: the command line, sharing its folder, never touches it.
  HelpViewer* viewer = host_.Help();
  HelpHook = std::make_unique<THookHelpSystem>(
      "quorle.qch", "", 0, viewer,
      [this](const std::string& text) { host_.ShowMessage(MessageIcon::Warning, text); },
      viewer ? THelpTrace(THelpTrace::CommandLine(), AppFolder) : THelpTrace());
}

int TfrmMain::HelpContextOf(const std::vector<std::string>& controls) const {
  // The pages and the windows carry their own contexts, the page control that of the page shown;
  // buttons and the other controls have none and so give their page's or window's.
  static const std::map<std::string, int> kPages = {
      {"tabAbout", 1000},   {"tabSetup", 1001},       {"tabGlobal", 1002},
      {"tabProgram", 1003}, {"tabMix", 1004},         {"frmMain", kWindowHelpContext},
      {"frmLibrary", 1006}, {"frmComposeBank", 1007}, {"frmComposeMixBank", 1007}};
  for (const std::string& control : controls) {
    if (control == "Tabs") return TabsHelpContext;
    if (const auto page = kPages.find(control); page != kPages.end()) return page->second;
  }
  return 0;
}

void TfrmMain::HelpRequested(const std::vector<std::string>& controls,
                             THookHelpSystem::Point where) {
  const int context = HelpContextOf(controls);
  if (!HelpHook || context == 0) return;
  HelpHook->HelpHandler(THookHelpSystem::kSetPopupPosition, {0, where});
  HelpHook->HelpHandler(THookHelpSystem::kShowContext, {context, {}});
}

}  // namespace quorle
