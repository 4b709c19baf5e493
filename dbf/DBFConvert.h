// Text conversions of the table's values in the user's number and date
// settings. Private to dbf/.
#pragma once

#include <string>
#include <string_view>

#include "dbf/DBF.h"

// Removes bytes up to 0x20 (spaces and control characters) at both ends.
std::string_view DBFTrim(std::string_view s);

// A number in the text form a user types: blanks around it, an optional
// sign, digits with at most one decimal separator (at least one digit), an
// optional exponent. false when the text is no such number.
bool DBFTextToFloat(std::string_view text, char decimalSeparator, double& out);

// value in fixed notation with decimals places, "." as the decimal point.
std::string DBFFloatToFixed(double value, int decimals);
// value with up to 15 significant digits in the user's notation.
std::string DBFFloatToStr(double value, char decimalSeparator);

// Reads day, month and year, in that order, separated by sep, blanks
// allowed before each number; a year of at most two digits is taken in the
// century window of 50 years. false when the text is no valid date.
bool DBFScanDateDMY(std::string_view text, char sep, DATE& out);
// The order of the fields of a short date format: day-month-year ("dd/MM/yyyy").
bool DBFScanDate(std::string_view text, const TDBFFormatSettings& fs, DATE& out);
// date by a format of d, dd, M, MM, MMM, yy, yyyy and "/" (the date separator).
std::string DBFFormatDate(DATE date, const std::string& format, char sep);
std::string DBFDateToYYYYMMDD(DATE date);

bool DBFFileExists(const std::string& name);
