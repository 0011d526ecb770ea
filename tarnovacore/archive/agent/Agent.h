#pragma once

// One opened archive as the folder view sees it: the chain of opened levels, the folder tree of
// the innermost level and the state that edits keep. Also the owner of the process-wide codec and
// format registry used by everything that opens archives through folders.
#include <memory>

#include "AgentProxy.h"
#include "archive/IFolder.h"
#include "archive/common/CreateCoder.h"
#include "archive/ui-common/ArchiveLink.h"
#include "archive/ui-common/LoadCodecs.h"
#include "common/MyCom.h"
#include "windows/PropVariant.h"

class CAgentFolder;
struct IArchiveUpdateCallback;

// The process-wide registry: null until LoadGlobalCodecs.
extern CCodecs *g_CodecsObj;
extern CExternalCodecs g_ExternalCodecs_tarnova;

HRESULT LoadGlobalCodecs();
void FreeGlobalCodecs();

class CAgent : public IInFolderArchive,
               public IFolderArcProps,
               public IOutFolderArchive,
               public ISetProperties,
               public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IInFolderArchive, IFolderArcProps, IOutFolderArchive, ISetProperties)

    // IInFolderArchive
    HRESULT Open(IInStream *inStream, const wchar_t *filePath, const wchar_t *arcFormat, BSTR *archiveType,
                 IArchiveOpenCallback *openArchiveCallback) override;
    HRESULT ReOpen(IArchiveOpenCallback *openArchiveCallback) override;
    HRESULT Close() override;
    HRESULT GetNumberOfProperties(UInt32 *numProperties) override;
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
    HRESULT BindToRootFolder(IFolderFolder **resultFolder) override;
    HRESULT Extract(NExtract::NPathMode::EEnum pathMode, NExtract::NOverwriteMode::EEnum overwriteMode,
                    const wchar_t *path, Int32 testMode, IFolderArchiveExtractCallback *extractCallback2) override;

    // IFolderArcProps
    HRESULT GetArcNumLevels(UInt32 *numLevels) override;
    HRESULT GetArcProp(UInt32 level, PROPID propID, PROPVARIANT *value) override;
    HRESULT GetArcNumProps(UInt32 level, UInt32 *numProps) override;
    HRESULT GetArcPropInfo(UInt32 level, UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
    HRESULT GetArcProp2(UInt32 level, PROPID propID, PROPVARIANT *value) override;
    HRESULT GetArcNumProps2(UInt32 level, UInt32 *numProps) override;
    HRESULT GetArcPropInfo2(UInt32 level, UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;

    // IOutFolderArchive and ISetProperties: the editing side, in AgentOut.cpp.
    HRESULT SetFolder(IFolderFolder *folder) override;
    HRESULT SetFiles(const wchar_t *folderPrefix, const wchar_t *const *names, UInt32 numNames) override;
    HRESULT DeleteItems(ISequentialOutStream *outArchiveStream, const UInt32 *indices, UInt32 numItems,
                        IFolderArchiveUpdateCallback *updateCallback) override;
    HRESULT DoOperation(CObjectVector<UString> *requestedPaths, CObjectVector<UString> *processedPaths, CCodecs *codecs,
                        Int32 formatIndex, ISequentialOutStream *outArchiveStream, const Byte *stateActions,
                        const wchar_t *sfxModule, IFolderArchiveUpdateCallback *updateCallback) override;
    HRESULT DoOperation2(CObjectVector<UString> *requestedPaths, CObjectVector<UString> *processedPaths,
                         ISequentialOutStream *outArchiveStream, const Byte *stateActions, const wchar_t *sfxModule,
                         IFolderArchiveUpdateCallback *updateCallback) override;
    HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) override;

    HRESULT CommonUpdate(ISequentialOutStream *outArchiveStream, unsigned numUpdateItems,
                         IArchiveUpdateCallback *updateCallback);
    HRESULT CreateFolder(ISequentialOutStream *outArchiveStream, const wchar_t *folderName,
                         IFolderArchiveUpdateCallback *updateCallback);
    HRESULT RenameItem(ISequentialOutStream *outArchiveStream, const UInt32 *indices, UInt32 numItems,
                       const wchar_t *newItemName, IFolderArchiveUpdateCallback *updateCallback);
    HRESULT UpdateOneFile(ISequentialOutStream *outArchiveStream, const UInt32 *indices, UInt32 numItems,
                          const wchar_t *diskFilePath, IFolderArchiveUpdateCallback *updateCallback);

    // The folder trees: at most one exists. Folder objects share them, so a folder bound before a reopen still reads a
    // tree that exists, and sees by comparing with these that it has to find its way into the new one.
    std::shared_ptr<CProxyArc> _proxy;
    std::shared_ptr<CProxyArc2> _proxy2;
    CArchiveLink _archiveLink;

    // The innermost handler lists kpidPath among its item properties.
    bool ThereIsPathProp;
    // The innermost level's format name, or "Parser".
    UString ArchiveType;

    // Edit state: the disk items to add, the folder they are relative to, and the folder of the
    // archive that the next edit applies to.
    UStringVector _names;
    UString _folderPrefix;
    bool _updatePathPrefix_is_AltFolder;
    UString _updatePathPrefix;
    CAgentFolder *_agentFolder;

    UString _archiveFilePath;
    // The temporary file that the running edit writes; like the archive itself it is never added.
    UString _outArchivePath;

    // Method properties for the next update.
    UStringVector m_PropNames;
    CObjectVector<NWindows::NCOM::CPropVariant> m_PropValues;

    CAgent();
    ~CAgent();
    CAgent(const CAgent &) = delete;
    CAgent &operator=(const CAgent &) = delete;

    // Builds the folder tree unless it exists; a failed build leaves none, so the next call tries again.
    HRESULT ReadItems();
    bool CanUpdate() const;

    const CArc &GetArc() const { return _archiveLink.levels.Back(); }
    IInArchive *GetArchive() const { return _archiveLink.GetArchive(); }
    bool IsThereReadOnlyArc() const;
    // Format name of a level, "Parser" for the embedded-archive parser.
    UString GetTypeOfArc(const CArc &arc) const;

private:
    void DeleteTrees();
};
