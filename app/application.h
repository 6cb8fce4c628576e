#pragma once

// Creates the application, the main window and its collaborators, runs the event loop.
int runBrindle(int argc, char **argv);
