#pragma once
// The application's title: the main window's caption, the caption of every
// message box, and the name of the user data folder.
inline constexpr char AppTitle[] = "Orvane Video Joiner";
