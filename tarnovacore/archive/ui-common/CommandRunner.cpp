#include "CommandRunner.h"

#include <new>

#include "ArchiveLink.h"
#include "common/CommandLineParser.h"
#include "common/StringConvert.h"

const wchar_t *GetRunnerMessageText(ERunnerMessage message) {
    switch (message) {
    case kRunnerMsg_EmptyCommand:
        return L"不支持的命令行";
    case kRunnerMsg_UnsupportedType:
        return L"不支持的压缩包格式";
    case kRunnerMsg_UpdateNotSupported:
        return L"不支持此压缩包的更新操作。";
    }
    return L"";
}

unsigned GetRunnerMessageBoxFlags(ERunnerMessage message) {
    return message == kRunnerMsg_EmptyCommand ? 0 : 516;
}

// Thrown inside the runner for its own texts.
struct CRunnerError {
    UString Text;
    explicit CRunnerError(const UString &text) : Text(text) {}
};

static void ParseCommand(const UStringVector &words, CArcCmdLineOptions &options) {
    CArcCmdLineParser parser;
    parser.Parse1(words, options);
    parser.Parse2(options);
}

static int Run(const UStringVector &words, CArcCommandRun &run, CMyComPtr<ICompressCodecsInfo> &codecsHolder,
               IArcCommandCallbacks &callbacks) {
    CArcCmdLineOptions &options = run.Options;
    ParseCommand(words, options);

    run.Codecs = new CCodecs;
    codecsHolder = run.Codecs;
    run.ExternalCodecs.CodecsInfo = run.Codecs;
    run.ExternalCodecs.HashersInfo = run.Codecs;
    CCodecs &codecs = *run.Codecs;
    codecs.CaseSensitiveSet = options.CaseSensitiveSet;
    codecs.CaseSensitive = options.CaseSensitive;
    // A registry that cannot be loaded is a failure the user must hear of, never a quiet success.
    {
        const HRESULT res = codecs.Load();
        if (res != S_OK) throw res;
    }

    const CArcCommand &command = options.Command;
    const bool isExtractGroup = command.IsFromExtractGroup();
    const bool isUpdateGroup = command.IsFromUpdateGroup();
    if (codecs.Formats.Size() == 0 && (isExtractGroup || isUpdateGroup) && !codecs.FailedMainModule.IsEmpty())
        throw CRunnerError(UString(L"7-Dud cannot load module ") + codecs.FailedMainModule);

    // No -t means any format; the type parser would refuse the empty text.
    if (!options.TypeText.IsEmpty() && !ParseOpenTypes(codecs, options.TypeText, run.Types)) {
        callbacks.ShowRunnerMessage(kRunnerMsg_UnsupportedType);
        return kRunnerExit_Error;
    }

    FOR_VECTOR(i, options.SkippedTypes) {
        CRecordVector<int> indices;
        if (!codecs.FindFormatForArchiveType(options.SkippedTypes[i], indices) || indices.Size() != 1 ||
            indices[0] < 0) {
            callbacks.ShowRunnerMessage(kRunnerMsg_UnsupportedType);
            return kRunnerExit_Error;
        }
        run.ExcludedFormats.AddToUniqueSorted(indices[0]);
    }

    const NCommandType::EEnum type = command.CommandType;
    if (isExtractGroup || type == NCommandType::kBenchmark || type == NCommandType::kHash) {
        const HRESULT res = run.ExternalCodecs.Load();
        if (res != S_OK) throw res;
        if (type == NCommandType::kBenchmark) return kRunnerExit_Ok;
    }

    if (isExtractGroup) {
        const CArcCmdLineExtractSettings &es = options.ExtractSettings;
        CExtractOptions &eo = run.ExtractOptions;
        eo.ElimDup = es.ElimDup;
        eo.PathMode_Force = es.PathMode_Force;
        eo.OverwriteMode_Force = es.OverwriteMode_Force;
        eo.PathMode = es.PathMode;
        eo.OverwriteMode = es.OverwriteMode;
        eo.OutputDir = es.OutputDir;
        eo.NtOptions = es.NtOptions;
        eo.TestMode = command.IsTestCommand();
        eo.StdInMode = options.ReadStdIn;
        eo.StdOutMode = options.WriteStdOut;

        if (!options.HashNames.IsEmpty()) {
            run.HashBundle.reset(new CHashBundle);
            const HRESULT res = run.HashBundle->SetMethods(&run.ExternalCodecs, options.HashNames);
            if (res != S_OK) throw res;
        }

        // From standard input there is one archive and no name on disk to look for.
        if (!eo.StdInMode) {
            const HRESULT res =
                EnumerateDirItemsAndSort(options.ArchiveCensor, NWildcard::k_RelatPath, UString(), run.ArchivePaths,
                                         run.ArchivePathsFull, run.ArchivesStat, nullptr);
            if (res != S_OK) throw res;
        }

        return callbacks.RunExtract(run);
    }

    if (isUpdateGroup) {
        CUpdateOptions &uo = options.UpdateSettings;
        if (!uo.InitFormatIndex(&codecs, run.Types, options.ArchiveName) ||
            !uo.SetArcPath(&codecs, options.ArchiveName)) {
            callbacks.ShowRunnerMessage(kRunnerMsg_UpdateNotSupported);
            return kRunnerExit_Error;
        }
        return callbacks.RunUpdate(run);
    }

    if (type == NCommandType::kHash) return callbacks.RunHash(run);

    throw CRunnerError(UString(L"Unsupported command"));
}

static void SetFailure(CArcCommandResult &result, HRESULT code, const UString &text) {
    result.ExitCode = kRunnerExit_Error;
    result.Failed = true;
    result.ErrorCode = code;
    result.ErrorText = text;
}

CArcCommandResult RunArchiveCommandWords(const UStringVector &words, IArcCommandCallbacks &callbacks) {
    CArcCommandResult result;
    if (words.IsEmpty()) {
        callbacks.ShowRunnerMessage(kRunnerMsg_EmptyCommand);
        return result;
    }

    CMyComPtr<ICompressCodecsInfo> codecsHolder;
    std::unique_ptr<CArcCommandRun> run;
    try {
        run.reset(new CArcCommandRun);
        result.ExitCode = Run(words, *run, codecsHolder, callbacks);
    } catch (const CArcCmdLineException &e) {
        SetFailure(result, E_FAIL, e);
    } catch (const CRunnerError &e) {
        SetFailure(result, E_FAIL, e.Text);
    } catch (const UString &s) {
        SetFailure(result, E_FAIL, s);
    } catch (const char *s) {
        SetFailure(result, E_FAIL, MultiByteToUnicodeString(AString(s)));
    } catch (HRESULT code) {
        SetFailure(result, code, UString());
    } catch (UInt32) {
        SetFailure(result, E_FAIL, UString());
    } catch (const std::bad_alloc &) {
        SetFailure(result, E_OUTOFMEMORY, UString());
    } catch (...) {
        SetFailure(result, E_FAIL, UString());
    }

    // Hashers made by the plug-ins go before their libraries do.
    if (run) {
        run->HashBundle.reset();
        if (run->Codecs) run->Codecs->CloseLibs();
        run->ExternalCodecs.HashersInfo.Release();
        run->ExternalCodecs.CodecsInfo.Release();
        run.reset();
    }
    codecsHolder.Release();
    return result;
}

CArcCommandResult RunArchiveCommand(const UString &command, IArcCommandCallbacks &callbacks) {
    UStringVector words;
    NCommandLineParser::SplitCommandLine(command, words);
    return RunArchiveCommandWords(words, callbacks);
}
