// Program entry; the application is assembled in app/gui.
int main() { return 0; }
