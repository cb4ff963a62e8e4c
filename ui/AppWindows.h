// The three windows of the program, created in their order: the main window,
// then the port settings dialog, then the exchange settings dialog, each
// reachable through its program-wide variable (Form1, FormPort, FormNastr).
#pragma once

class OperatorInterface;

void CreateAppWindows(OperatorInterface& boxes);
// Destroys them in reverse order and clears the variables.
void DestroyAppWindows();
