#pragma once
class frmMain;

// Creates the tools beside the window (value panel menu, recording, trend); each connects to the
// window from outside, so the window's code names none of them.
void attachTools(frmMain &window);
