#pragma once

namespace kt {

// How the window is drawn. The window is small and mostly still: Qt Quick's
// software scene graph draws it without loading a GL driver, which on a
// computer without a graphics card means a software rasteriser of tens of
// megabytes. OpenGL only when asked for, with --opengl or KA_TESMAR_OPENGL=1.
bool openGlRequested(int argc, char* argv[]);

// Call before the application object exists: the platform plugin reads its
// GL integration when it starts.
void chooseGraphics(bool openGl);

}  // namespace kt
