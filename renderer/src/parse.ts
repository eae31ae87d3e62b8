// Defensive readers for everything the native side hands the page. A malformed field becomes its
// absent or empty value; nothing here throws, so one odd file can never blank the whole window.
import type {
  AnalysisPlan,
  Bundle,
  CaptureSource,
  CloudSyncState,
  EvidenceCandidate,
  EvidenceDocument,
  EvidenceFile,
  FeedbackItem,
  FeedbackReport,
  IntegrationStatus,
  MeetingSummary,
  RecentSession,
  RestoreResult,
  ReviewEdit,
  Snapshot,
  Stage,
  Transcript,
  TranscriptSegment,
  UpdateState,
  VisualAnchor,
} from './types';

type Obj = Record<string, unknown>;

export const isObject = (v: unknown): v is Obj => typeof v === 'object' && v !== null && !Array.isArray(v);
const obj = (v: unknown): Obj => (isObject(v) ? v : {});
const str = (v: unknown): string | undefined => (typeof v === 'string' ? v : undefined);
const num = (v: unknown): number | undefined => (typeof v === 'number' && Number.isFinite(v) ? v : undefined);
const bool = (v: unknown): boolean | undefined => (typeof v === 'boolean' ? v : undefined);
const list = (v: unknown): unknown[] => (Array.isArray(v) ? v : []);
const strings = (v: unknown): string[] => list(v).filter((x): x is string => typeof x === 'string');

const STAGES: readonly Stage[] = [
  'idle', 'recording', 'importing', 'transcribing', 'finding-evidence',
  'exporting', 'analyzing', 'failed', 'ready', 'ready-to-process',
];

function readCloudSync(v: unknown): CloudSyncState {
  const o = obj(v);
  const phase = str(o.phase);
  return {
    configured: bool(o.configured) ?? false,
    phase: phase === 'syncing' || phase === 'failed' || phase === 'idle' ? phase : 'unavailable',
    lastSyncedAt: str(o.lastSyncedAt),
    importedCount: num(o.importedCount),
    error: str(o.error),
    connectAvailable: bool(o.connectAvailable),
    connectUnavailableReason: str(o.connectUnavailableReason),
  };
}

function readUpdate(v: unknown): UpdateState | undefined {
  if (!isObject(v)) return undefined;
  return {
    enabled: bool(v.enabled) ?? true,
    feedConfigured: bool(v.feedConfigured) ?? false,
    currentVersion: str(v.currentVersion) ?? '',
    lastCheckFailed: bool(v.lastCheckFailed) ?? false,
    availableVersion: str(v.availableVersion),
    releaseNotesSummary: str(v.releaseNotesSummary),
    checkedAt: str(v.checkedAt),
  };
}

function readRecent(v: unknown): RecentSession[] {
  return list(v).flatMap((row) => {
    const o = obj(row);
    const id = str(o.id);
    return id ? [{ id, title: str(o.title) ?? 'Meeting', detail: str(o.detail) ?? '' }] : [];
  });
}

export function readSnapshot(v: unknown): Snapshot {
  const o = obj(v);
  const stage = str(o.stage) as Stage | undefined;
  const disclosure = obj(o.disclosure);
  const consent = obj(o.consent);
  const remote = isObject(o.remoteTranscription) ? o.remoteTranscription : undefined;
  const acknowledgedVersion = num(disclosure.acknowledgedVersion) ?? 0;
  const currentVersion = num(disclosure.currentVersion) ?? 1;
  return {
    available: bool(o.available) ?? false,
    stage: stage && STAGES.includes(stage) ? stage : 'idle',
    sessionName: str(o.sessionName),
    progress: num(o.progress),
    detail: str(o.detail),
    transcriptSegments: num(o.transcriptSegments),
    evidenceMoments: num(o.evidenceMoments),
    groundedFeedback: num(o.groundedFeedback),
    unfinishedAnalysis: num(o.unfinishedAnalysis),
    recentSessions: readRecent(o.recentSessions),
    cloudSync: readCloudSync(o.cloudSync),
    error: str(o.error),
    capturePromptID: str(o.capturePromptID),
    captureRole: str(o.captureRole) ?? 'recorder',
    update: readUpdate(o.update),
    disclosure: {
      currentVersion,
      acknowledgedVersion,
      required: bool(disclosure.required) ?? acknowledgedVersion < currentVersion,
    },
    consent: {
      standing: bool(consent.standing) ?? false,
      standingSince: str(consent.standingSince),
      lastAffirmedAt: str(consent.lastAffirmedAt),
    },
    remoteTranscription: remote && {
      configured: bool(remote.configured) ?? false,
      enabled: bool(remote.enabled) ?? false,
      providerName: str(remote.providerName) ?? '',
      providerHost: str(remote.providerHost) ?? '',
      model: str(remote.model),
      detail: str(remote.detail),
    },
    remoteAnalysisApproved: bool(o.remoteAnalysisApproved),
    remoteAnalysisApprovedPasses: Array.isArray(o.remoteAnalysisApprovedPasses)
      ? strings(o.remoteAnalysisApprovedPasses)
      : undefined,
  };
}

function readFile(v: unknown): EvidenceFile | undefined {
  const o = obj(v);
  const path = str(o.path);
  return path === undefined ? undefined : { path, sha256: str(o.sha256) ?? '', byteCount: num(o.byteCount) ?? 0 };
}

/** An anchor is usable only when it lies inside the frame; anything else is dropped, not clamped. */
export function readAnchor(v: unknown): VisualAnchor | undefined {
  const o = obj(v);
  const x = num(o.x), y = num(o.y), width = num(o.width), height = num(o.height);
  if (x === undefined || y === undefined || width === undefined || height === undefined) return undefined;
  const inside = x >= 0 && y >= 0 && width > 0 && height > 0 && x + width <= 1.0001 && y + height <= 1.0001;
  return inside ? { x, y, width, height } : undefined;
}

function readCandidate(v: unknown): EvidenceCandidate | undefined {
  const o = obj(v);
  const id = str(o.id);
  const start = num(o.rangeStartSeconds);
  const end = num(o.rangeEndSeconds);
  if (!id || start === undefined || end === undefined) return undefined;
  return {
    id,
    rangeStartSeconds: start,
    rangeEndSeconds: Math.max(start, end),
    trigger: str(o.trigger) ?? '',
    transcriptContext: str(o.transcriptContext) ?? '',
    frames: list(o.frames).map(readFile).filter((f): f is EvidenceFile => f !== undefined),
    visualAnchor: readAnchor(o.visualAnchor),
  };
}

export function readEvidence(v: unknown): EvidenceDocument {
  const o = obj(v);
  const session = obj(o.session);
  const size = obj(session.displaySize);
  const range = obj(session.videoRangeSeconds);
  const rangeStart = num(range.start), rangeEnd = num(range.end);
  const repository = obj(session.repository);
  return {
    schemaVersion: num(o.schemaVersion) ?? 1,
    exportedAt: str(o.exportedAt) ?? '',
    session: {
      id: str(session.id) ?? '',
      capturedAt: str(session.capturedAt) ?? '',
      endedAt: str(session.endedAt),
      displaySize: { width: num(size.width) ?? 0, height: num(size.height) ?? 0 },
      videoRangeSeconds:
        rangeStart !== undefined && rangeEnd !== undefined ? { start: rangeStart, end: rangeEnd } : undefined,
      transcript: readFile(session.transcript) ?? { path: 'transcript.json', sha256: '', byteCount: 0 },
      repository: str(repository.gitSHA)
        ? { rootPath: str(repository.rootPath) ?? '', gitSHA: str(repository.gitSHA)!, branch: str(repository.branch) }
        : undefined,
    },
    candidates: list(o.candidates).map(readCandidate).filter((c): c is EvidenceCandidate => c !== undefined),
  };
}

export function readTranscript(v: unknown): Transcript | undefined {
  if (!isObject(v)) return undefined;
  const segments = list(v.segments).flatMap((s): TranscriptSegment[] => {
    const o = obj(s);
    const start = num(o.startSeconds);
    const text = str(o.text);
    if (start === undefined || text === undefined) return [];
    const speaker = obj(o.speaker);
    return [{
      id: str(o.id) ?? `${start}`,
      startSeconds: start,
      durationSeconds: Math.max(0, num(o.durationSeconds) ?? 0),
      text,
      confidence: num(o.confidence),
      speaker: str(speaker.name) ? { id: str(speaker.id), name: str(speaker.name)!, role: str(speaker.role) ?? '' } : undefined,
      sourceTrack: str(o.sourceTrack),
    }];
  });
  return { segments, provider: str(v.provider), localeIdentifier: str(v.localeIdentifier) };
}

function readFeedback(v: unknown): FeedbackReport | undefined {
  if (!isObject(v)) return undefined;
  const items = list(v.items).flatMap((i): FeedbackItem[] => {
    const o = obj(i);
    const id = str(o.id), candidateID = str(o.candidateID);
    if (!id || !candidateID) return [];
    return [{
      id,
      candidateID,
      component: str(o.component) ?? '',
      observed: str(o.observed) ?? '',
      requestedChange: str(o.requestedChange) ?? '',
      quote: str(o.quote) ?? '',
      confidence: Math.min(1, Math.max(0, num(o.confidence) ?? 0)),
      evidenceFramePaths: strings(o.evidenceFramePaths),
    }];
  });
  return { provider: str(v.provider), model: str(v.model), createdAt: str(v.createdAt), items };
}

export function readSummary(v: unknown): MeetingSummary | undefined {
  if (!isObject(v)) return undefined;
  return {
    provider: str(v.provider),
    model: str(v.model),
    overview: str(v.overview) ?? '',
    topics: list(v.topics).flatMap((t) => {
      const o = obj(t);
      return str(o.title) ? [{ title: str(o.title)!, detail: str(o.detail) ?? '' }] : [];
    }),
    decisions: strings(v.decisions),
    actionItems: strings(v.actionItems),
    unresolvedQuestions: strings(v.unresolvedQuestions),
  };
}

function readEdits(v: unknown): Record<string, ReviewEdit> {
  const out: Record<string, ReviewEdit> = {};
  for (const [key, value] of Object.entries(obj(v))) {
    const o = obj(value);
    const component = str(o.component), requestedChange = str(o.requestedChange);
    if (component !== undefined && requestedChange !== undefined) out[key] = { component, requestedChange };
  }
  return out;
}

export function readBundle(v: unknown): Bundle | undefined {
  if (!isObject(v) || !str(v.id) || !isObject(v.evidence)) return undefined;
  const urls: Record<string, string> = {};
  for (const [path, url] of Object.entries(obj(v.frameDataURLs))) if (typeof url === 'string') urls[path] = url;
  return {
    id: str(v.id)!,
    displayName: str(v.displayName) ?? '',
    evidence: readEvidence(v.evidence),
    frameDataURLs: urls,
    includedFeedbackIDs: strings(v.includedFeedbackIDs),
    visualEvidenceUsefulIDs: strings(v.visualEvidenceUsefulIDs),
    reviewEdits: readEdits(v.reviewEdits),
    implementationBriefReady: bool(v.implementationBriefReady) ?? false,
    implementationBrief: str(v.implementationBrief),
    transcript: readTranscript(v.transcript),
    summary: readSummary(v.summary),
    mediaURL: str(v.mediaURL),
    feedback: readFeedback(v.feedback),
  };
}

export function readRestore(v: unknown): RestoreResult {
  const o = obj(v);
  return { state: readSnapshot(o.state), bundle: readBundle(o.bundle) };
}

export function readSources(v: unknown): CaptureSource[] {
  return list(v).flatMap((s) => {
    const o = obj(s);
    const id = str(o.id);
    return id ? [{ id, label: str(o.label) ?? `Display ${id}` }] : [];
  });
}

export function readPlan(v: unknown): AnalysisPlan | undefined {
  if (!isObject(v)) return undefined;
  return {
    sessionID: str(v.sessionID) ?? '',
    providerName: str(v.providerName) ?? '',
    providerHost: str(v.providerHost) ?? '',
    model: str(v.model) ?? '',
    passes: list(v.passes).flatMap((p) => {
      const o = obj(p);
      const pass = str(o.pass);
      if (pass !== 'evidence' && pass !== 'summary') return [];
      return [{
        pass,
        candidateCount: num(o.candidateCount) ?? 0,
        frameCount: num(o.frameCount) ?? 0,
        frameByteCount: num(o.frameByteCount) ?? 0,
        transcriptSegmentCount: num(o.transcriptSegmentCount) ?? 0,
        transcriptCharacterCount: num(o.transcriptCharacterCount) ?? 0,
        sendsFullTranscript: bool(o.sendsFullTranscript) ?? false,
      }];
    }),
    canSend: bool(v.canSend) ?? false,
    onThisComputer: bool(v.onThisComputer) ?? false,
    note: str(v.note),
    localFallbackAvailable: bool(v.localFallbackAvailable) ?? false,
    blockedReason: str(v.blockedReason),
    blockedDetail: str(v.blockedDetail),
  };
}

export function readIntegrations(v: unknown): IntegrationStatus | undefined {
  if (!isObject(v)) return undefined;
  return {
    available: bool(v.available) ?? false,
    connectedClients: strings(v.connectedClients),
    repairableClients: strings(v.repairableClients),
    unavailableClients: strings(v.unavailableClients),
  };
}
