// Shapes the native side sends to the page. Everything here arrives from outside the page, so the
// readers in this folder check each field before using it; these types describe the well-formed case.

export type Stage =
  | 'idle'
  | 'recording'
  | 'importing'
  | 'transcribing'
  | 'finding-evidence'
  | 'exporting'
  | 'analyzing'
  | 'failed'
  | 'ready'
  | 'ready-to-process';

export interface RecentSession {
  id: string;
  title: string;
  detail: string;
}

export interface CloudSyncState {
  configured: boolean;
  phase: 'unavailable' | 'syncing' | 'failed' | 'idle';
  lastSyncedAt?: string;
  importedCount?: number;
  error?: string;
  connectAvailable?: boolean;
  connectUnavailableReason?: string;
}

export interface UpdateState {
  enabled: boolean;
  feedConfigured: boolean;
  currentVersion: string;
  lastCheckFailed: boolean;
  availableVersion?: string;
  releaseNotesSummary?: string;
  checkedAt?: string;
}

export interface DisclosureState {
  currentVersion: number;
  acknowledgedVersion: number;
  required: boolean;
}

export interface RecordingConsentState {
  standing: boolean;
  standingSince?: string;
  lastAffirmedAt?: string;
}

export interface RemoteTranscriptionState {
  configured: boolean;
  enabled: boolean;
  providerName: string;
  providerHost: string;
  model?: string;
  detail?: string;
}

export interface Snapshot {
  available: boolean;
  stage: Stage;
  sessionName?: string;
  progress?: number;
  detail?: string;
  transcriptSegments?: number;
  evidenceMoments?: number;
  groundedFeedback?: number;
  unfinishedAnalysis?: number;
  recentSessions: RecentSession[];
  cloudSync: CloudSyncState;
  error?: string;
  capturePromptID?: string;
  captureRole: string;
  update?: UpdateState;
  disclosure: DisclosureState;
  consent: RecordingConsentState;
  remoteTranscription?: RemoteTranscriptionState;
  remoteAnalysisApproved?: boolean;
  remoteAnalysisApprovedPasses?: string[];
}

export interface VisualAnchor {
  x: number;
  y: number;
  width: number;
  height: number;
}

export interface EvidenceFile {
  path: string;
  sha256: string;
  byteCount: number;
}

export interface EvidenceCandidate {
  id: string;
  rangeStartSeconds: number;
  rangeEndSeconds: number;
  trigger: string;
  transcriptContext: string;
  frames: EvidenceFile[];
  visualAnchor?: VisualAnchor;
}

export interface EvidenceDocument {
  schemaVersion: number;
  exportedAt: string;
  session: {
    id: string;
    capturedAt: string;
    endedAt?: string;
    displaySize: { width: number; height: number };
    videoRangeSeconds?: { start: number; end: number };
    transcript: EvidenceFile;
    repository?: { rootPath: string; gitSHA: string; branch?: string };
  };
  candidates: EvidenceCandidate[];
}

export interface TranscriptSpeaker {
  id?: string;
  name: string;
  role: string;
}

export interface TranscriptSegment {
  id: string;
  startSeconds: number;
  durationSeconds: number;
  text: string;
  confidence?: number;
  speaker?: TranscriptSpeaker;
  sourceTrack?: string;
}

export interface Transcript {
  segments: TranscriptSegment[];
  provider?: string;
  localeIdentifier?: string;
}

export interface FeedbackItem {
  id: string;
  candidateID: string;
  component: string;
  observed: string;
  requestedChange: string;
  quote: string;
  confidence: number;
  evidenceFramePaths: string[];
}

export interface FeedbackReport {
  provider?: string;
  model?: string;
  createdAt?: string;
  items: FeedbackItem[];
}

export interface SummaryTopic {
  title: string;
  detail: string;
}

export interface MeetingSummary {
  provider?: string;
  model?: string;
  overview: string;
  topics: SummaryTopic[];
  decisions: string[];
  actionItems: string[];
  unresolvedQuestions: string[];
}

export interface ReviewEdit {
  component: string;
  requestedChange: string;
}

export interface Bundle {
  id: string;
  displayName: string;
  evidence: EvidenceDocument;
  frameDataURLs: Record<string, string>;
  includedFeedbackIDs: string[];
  visualEvidenceUsefulIDs: string[];
  reviewEdits: Record<string, ReviewEdit>;
  implementationBriefReady: boolean;
  /** The brief's Markdown, as the coding agent will read it. */
  implementationBrief?: string;
  transcript?: Transcript;
  summary?: MeetingSummary;
  mediaURL?: string;
  feedback?: FeedbackReport;
}

export interface RestoreResult {
  state: Snapshot;
  bundle?: Bundle;
}

export interface CaptureSource {
  id: string;
  label: string;
}

export interface AnalysisPassPlan {
  pass: 'evidence' | 'summary';
  candidateCount: number;
  frameCount: number;
  frameByteCount: number;
  transcriptSegmentCount: number;
  transcriptCharacterCount: number;
  sendsFullTranscript: boolean;
}

export interface AnalysisPlan {
  sessionID: string;
  providerName: string;
  providerHost: string;
  model: string;
  passes: AnalysisPassPlan[];
  canSend: boolean;
  /** Analysed on this computer: nothing is sent, so nothing needs approval. */
  onThisComputer: boolean;
  note?: string;
  localFallbackAvailable: boolean;
  blockedReason?: string;
  blockedDetail?: string;
}

export interface IntegrationStatus {
  available: boolean;
  connectedClients: string[];
  repairableClients: string[];
  unavailableClients: string[];  // their tool is not installed
}

export interface ConsentAffirmation {
  participantsInformed: boolean;
  disclosureTextVersion: number;
  affirmedAt: string;
  standing: boolean;
}
