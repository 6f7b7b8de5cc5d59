// The About page: three lines from the program file's own version block.
#include "app/ProgramFiles.h"
#include "app/TfrmMain.h"

namespace quorle {

void TfrmMain::FillAboutPage() {
  // By name without its folder, as the platform finds the program's own file first.
  VersionInfo.SetFileName(std::filesystem::path(RunningProgramPath()).filename().string());
  lblVersionCaption = VersionLine(VersionInfo);
  lblCopyrightCaption = VersionInfo.VersionString(5);
  lblDescriptionCaption = VersionInfo.VersionString(2);
  host_.StateChanged();
}

}  // namespace quorle
