#pragma once
// A writer object as the library sees it, laid out by the platform's
// Microsoft C++ ABI and written down here from the platform's documentation,
// not from the writers' header, so that a slot out of place on either side
// fails a test instead of cancelling out.
//
// The object holds its table pointer, then the base class's one data pointer.
// Slot 0 is the scalar deleting destructor (thiscall: the object in ECX, one
// flags argument on the stack, bit 0 asking to free the object); the events
// follow in the order the platform's class declares them, each __stdcall with
// the object as its first stack argument.

#include <windows.h>

#include <vswriter.h>

#include <cstddef>

class CVssWriterImpl;
struct WriterObject;

struct WriterTable {
    void*(__thiscall* scalarDeletingDestructor)(WriterObject* self, unsigned int flags);
    bool(__stdcall* onIdentify)(WriterObject* self, IVssCreateWriterMetadata* metadata);
    bool(__stdcall* onPrepareBackup)(WriterObject* self, IVssWriterComponents* components);
    bool(__stdcall* onPrepareSnapshot)(WriterObject* self);
    bool(__stdcall* onFreeze)(WriterObject* self);
    bool(__stdcall* onThaw)(WriterObject* self);
    bool(__stdcall* onAbort)(WriterObject* self);
    bool(__stdcall* onBackupComplete)(WriterObject* self, IVssWriterComponents* components);
    bool(__stdcall* onBackupShutdown)(WriterObject* self, VSS_ID snapshotSetId);
    bool(__stdcall* onPreRestore)(WriterObject* self, IVssWriterComponents* components);
    bool(__stdcall* onPostRestore)(WriterObject* self, IVssWriterComponents* components);
    bool(__stdcall* onPostSnapshot)(WriterObject* self, IVssWriterComponents* components);
    bool(__stdcall* onBackOffIOOnVolume)(WriterObject* self, VSS_PWSZ volume, VSS_ID snapshotId,
                                         VSS_ID providerId);
    bool(__stdcall* onContinueIOOnVolume)(WriterObject* self, VSS_PWSZ volume, VSS_ID snapshotId,
                                          VSS_ID providerId);
    bool(__stdcall* onVSSShutdown)(WriterObject* self);
    bool(__stdcall* onVSSApplicationStartup)(WriterObject* self);
};

struct WriterObject {
    const WriterTable* table;
    CVssWriterImpl* impl;
};

static_assert(sizeof(WriterTable) == 16 * sizeof(void*), "a destructor and fifteen events");
static_assert(offsetof(WriterObject, impl) == sizeof(void*), "the data pointer follows the table");
