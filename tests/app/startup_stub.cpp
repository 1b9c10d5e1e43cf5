// Stand-in for the start-up sequence while app/startup.cpp is not in the tree: the first
// activation as the frame expects it. Built only when that file is missing.
#include "app/command_line.h"
#include "app/frm_orvex.h"
#include "selection/mdi_in_dir.h"

namespace orvex2 {

int frmOrvex::MDIForm_Load(const StartRequest&) { return -1; }

void frmOrvex::MDIForm_Activate() {
  if (activated) return;
  MDIForm_Resize();
  ShowChildren();
  BtnEnabledChange();
  if (InDir() != nullptr) InDir()->FocusDrive();
  activated = true;
}

}  // namespace orvex2
