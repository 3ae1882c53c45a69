#pragma once
// Which files the input list takes: the extensions accepted from a drop and
// the filter of the file-open dialog.
#include <string>
#include <string_view>
#include <vector>

// True when the lower-cased extension (with its dot) is one of the 43 media
// extensions the open dialog offers. A drop tries every file, whatever its
// extension; the probe decides.
bool IsMediaExtension(std::string_view extension);

struct TFileFilter {
    std::string Display;
    std::string Patterns;  // "*.AVI;*.AVM;...;" or "*.*"
};

// The four entries of the file-open dialog, in order.
const std::vector<TFileFilter>& OpenDialogFilters();
// The entries joined as display|patterns|display|patterns...
std::string OpenDialogFilterText();
