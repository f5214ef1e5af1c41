// The names the program goes by: on the desktop and in the settings store's place.
#pragma once

constexpr const char* ORGANIZATION_NAME = "Pelmora";
constexpr const char* APPLICATION_NAME = "Pelmora";

// Organization and application names, which also place the settings store.
void set_application_names();
