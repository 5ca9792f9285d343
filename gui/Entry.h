#pragma once
// The program: builds the application object, admits one running copy,
// creates the forms, runs the loop. Returns the exit code: 1 when another
// copy runs, else 0.
int QuillonMain(int argc, char** argv);
