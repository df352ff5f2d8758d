// $barcodeUSPS: the Intelligent Mail barcode of one mail piece as 65 bar letters, with the
// field validators and the table of the encoder's messages.
#pragma once

#include <map>
#include <string>

// The encoder's return codes and their messages, filled by buildUSPSErrorList.
extern std::map<int, std::string> errors;
// Fills errors once per process (thread-safely); later calls change nothing.
void buildUSPSErrorList();

// Field validators: true when the field text has the form the barcode accepts. Where a rule
// looks at a field's value, the value is the leading integer of the text as a formatted
// stream reads it (leading white space, optional sign, digits; 0 when there is none), and a
// negative value is never in range.
// Barcode Identifier: 2 characters, a digit and a digit from 0 to 4.
bool validateBarCode(const std::string& text);
// Service Type Identifier: 3 characters, value 0 to 999.
bool validateServiceType(const std::string& text);
// Mailer Identifier: 6 characters with value 0 to 899999, or 9 characters starting with '9'
// with value 900000000 to 999999999.
bool validateMailer(const std::string& text);
// Serial Number: 9 characters with value below 1000000000 for a 6-character Mailer
// Identifier, 6 characters with value below 1000000 for a 9-character one.
bool validateSerialNumber(const std::string& serial, const std::string& mailer);
// ZIP code: empty; 5 characters with value below 100000; 9 characters with value below
// 1000000000; 11 digits. A 5- or 9-character code must not hold a space or a NUL, at which the
// encoder would cut it short.
bool validateZipCode(const std::string& text);
