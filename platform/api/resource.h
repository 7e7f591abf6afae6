#pragma once
// Resources compiled into the program (res/resources.list, built by tools/rescomp).
#include "platform/api/types.h"

// Predefined resource types: integer types travel in the pointer.
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

// Finds a resource of the program's own module (null or GetModuleHandleW(nullptr)).
// Names and types are integers (MAKEINTRESOURCEW), strings compared without regard
// to case, or "#123" strings standing for the integer 123. Null on failure, with
// ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND or, for a module that
// carries no resources, ERROR_RESOURCE_DATA_NOT_FOUND.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);

// The resource's bytes as a handle that LockResource turns into their address.
// The bytes live in the program image: nothing is allocated or copied.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);

// Nothing to release; answers FALSE as the platform does.
BOOL FreeResource(HGLOBAL data);
