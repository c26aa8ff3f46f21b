#pragma once

// The application object: start-up, one modal run of the main window, and shutdown. It holds no
// data; exactly one instance exists for the life of the process. GUI thread only.
class CNodeToolApp
{
  public:
    CNodeToolApp() = default;
    CNodeToolApp(const CNodeToolApp&) = delete;
    CNodeToolApp& operator=(const CNodeToolApp&) = delete;

    // Runs the whole program once the QApplication exists. Returns false, like a start-up that
    // wants no message loop after the main window has closed.
    bool InitInstance();
};
