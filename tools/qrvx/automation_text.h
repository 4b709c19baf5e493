// Text and values at the automation boundary, as the front end prints them.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <nlohmann/json.hpp>
#include <string>

#include "receiver/IAcceptor.h"

// UTF-8 of an automation string; frees it.
std::string TakeUtf8(BSTR b);
// UTF-8 of text that a page in UTF-8 posted: the string's bytes in the ANSI
// code page when they are valid UTF-8, otherwise the string as TakeUtf8 reads
// it (an archive entry's name, say). Frees it.
std::string TakePostedUtf8(BSTR b);
// Either of the two above: how the texts of a request become UTF-8.
using TextReader = std::string (*)(BSTR);
// UTF-8 of 8-bit text in the ANSI code page.
std::string AnsiToUtf8(const std::string& s);
// A cell value: text, number, boolean, date as "YYYY-MM-DD", or null.
nlohmann::ordered_json VariantToJson(const VARIANT& v);
// Every received table with its columns and rows, walked through the members.
// Cell texts are the table's own, always read from the ANSI code page.
nlohmann::ordered_json TablesAsJson(IAcceptor& acc);
// SHA-256 (hex) of received file i, read through FileRead in blocks.
std::string FileDigest(IAcceptor& acc, LONG i);
// Everything received: variables, files (name, path, field, size, sha256)
// and tables, with the request's texts read by `text`.
nlohmann::ordered_json ReceivedAsJson(IAcceptor& acc, TextReader text = TakeUtf8);
// The same facts as readable text.
void PrintReceived(const nlohmann::ordered_json& doc);
