// Text and values at the automation boundary, as the front end prints them.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <nlohmann/json.hpp>
#include <string>

#include "receiver/IAcceptor.h"

// UTF-8 of an automation string; frees it.
std::string TakeUtf8(BSTR b);
// UTF-8 of 8-bit text in the ANSI code page.
std::string AnsiToUtf8(const std::string& s);
// A cell value: text, number, boolean, date as "YYYY-MM-DD", or null.
nlohmann::ordered_json VariantToJson(const VARIANT& v);
// Every received table with its columns and rows, walked through the members.
nlohmann::ordered_json TablesAsJson(IAcceptor& acc);
// The same facts as readable text.
void PrintReceived(const nlohmann::ordered_json& doc);
