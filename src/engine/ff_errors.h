#pragma once
// Texts of the error codes the libraries return.
#include <string>

// The message for a library error code ("Error number %d occurred" when the
// code is unknown).
std::string ErrorMessage(int code);
// The file name, ": " and the message for the code.
std::string ErrorText(const std::string& fileName, int code);
