#pragma once

#include "UpdatePair.h"

// One update record: what the writer sees as item i.
struct CUpdatePair2 {
    bool HasNewData;   // the data comes from disk
    bool HasNewProps;  // the properties are given anew
    bool KeepArcProps; // the properties come from the old archive
    bool Anti;
    Int32 DiskIndex;
    Int32 ArchiveIndex;
    Int32 RenameIndex; // into a list of new names
    bool IsRenameTarget;

    CUpdatePair2()
        : HasNewData(false), HasNewProps(false), KeepArcProps(false), Anti(false), DiskIndex(-1), ArchiveIndex(-1),
          RenameIndex(-1), IsRenameTarget(false) {}

    bool ExistOnDisk() const { return DiskIndex != -1; }
    bool ExistInArchive() const { return ArchiveIndex != -1; }
};

// Told about each old item that the action set drops.
struct IUpdateProduceCallback {
    virtual HRESULT ShowDeleteFile(unsigned arcIndex) = 0;

protected:
    ~IUpdateProduceCallback() = default;
};

// Appends one record per pair that the action set does not ignore. Throws the 8-bit text
// "Internal collision in update action set" when an action does not fit its state.
void UpdateProduce(const CRecordVector<CUpdatePair> &updatePairs, const NUpdateArchive::CActionSet &actionSet,
                   CRecordVector<CUpdatePair2> &operationChain, IUpdateProduceCallback *callback);
