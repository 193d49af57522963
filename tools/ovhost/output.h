// The host's standard output: whole lines in UTF-8, from any thread.
#pragma once

#include <string>

void InitOutput();
void PrintLine(const std::wstring& line);
