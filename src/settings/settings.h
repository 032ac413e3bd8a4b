#pragma once
#include "settings/configkeys.h"

// Settings accessors.  Arguments are always section, key, then default or
// value; output buffers hold at least 260 bytes.  Callable from any thread.
// Failures to read or write the files are not reported: getters fall back to
// their defaults, setters keep the value in memory.

// Shared store (/opt/ostrel/velorin/etc).
void LSettingGetString(const char* section, const char* key, const char* def, char* out);
int LSettingGetInt(const char* section, const char* key, int def);
bool LSettingGetBool(const char* section, const char* key, bool def);
void LSettingSetString(const char* section, const char* key, const char* value);
void LSettingSetInt(const char* section, const char* key, int value);
void LSettingSetBool(const char* section, const char* key, bool value);

// Per-user store ($HOME/.ostrel/velorin).
void LUserSettingGetString(const char* section, const char* key, const char* def, char* out);
int LUserSettingGetInt(const char* section, const char* key, int def);
bool LUserSettingGetBool(const char* section, const char* key, bool def);
void LUserSettingSetString(const char* section, const char* key, const char* value);
void LUserSettingSetInt(const char* section, const char* key, int value);
void LUserSettingSetBool(const char* section, const char* key, bool value);

// Value encodings: integers as "%d", bools as "1"/"0".  Decoding: empty text
// gives the default; an integer is the text's leading number (0 when it does
// not start with one); a bool is false when the text starts with '0'.
void LToSettingString(char* buffer, int value);
void LToSettingString(char* buffer, bool value);
int LFromSettingString(const char* text, int def);
bool LFromSettingString(const char* text, bool def);

void LSettingsGetSharedFolder(char* out);
void LSettingsGetUserFolder(char* out);

// Catalogue keys (configkeys.h) in the store they belong to.
int LSettingGet(const LSettingKeyInt& key);
bool LSettingGet(const LSettingKeyBool& key);
void LSettingGet(const LSettingKeyString& key, char* out);
void LSettingGet(const LSettingKeyStringIndexed& key, int index, char* out);
int LSettingGet(const LSettingKeyIntIndexed& key, int index);
void LSettingSet(const LSettingKeyInt& key, int value);
void LSettingSet(const LSettingKeyBool& key, bool value);
void LSettingSet(const LSettingKeyString& key, const char* value);
void LSettingSet(const LSettingKeyStringIndexed& key, int index, const char* value);
void LSettingSet(const LSettingKeyIntIndexed& key, int index, int value);
