// The page's state and every action a view can take. Plain TypeScript so it can be tested without
// a browser; views subscribe and re-render from `state`.
import { invoke, isUnsupported, messageOf, type QuillmerPageAPI } from './bridge';
import { makeAffirmation, DISCLOSURE_VERSION } from './consent';
import { readBundle, readRestore, readSnapshot, readSummary } from './parse';
import { isAwaitingApproval } from './stage';
import type { Bundle, Snapshot } from './types';

export interface Notice {
  kind: 'error' | 'info';
  text: string;
}

export interface AppState {
  snapshot: Snapshot | undefined;
  bundle: Bundle | undefined;
  /** Processing stopped at the analysis decision; the exported evidence is shown meanwhile. */
  awaitingApproval: boolean;
  /** Page calls the native side answered as unsupported. */
  unsupported: ReadonlySet<string>;
  /** Page calls in flight. */
  pending: ReadonlySet<string>;
  notice: Notice | undefined;
  /** When this page first saw the current recording (the snapshot carries no start time). */
  recordingSince: number | undefined;
  /** The person asked to set up a recording. */
  settingUpRecording: boolean;
}

export type CallResult<T = unknown> = { ok: true; value: T } | { ok: false; error: string; unsupported: boolean };

export class Controller {
  state: AppState = {
    snapshot: undefined,
    bundle: undefined,
    awaitingApproval: false,
    unsupported: new Set(),
    pending: new Set(),
    notice: undefined,
    recordingSince: undefined,
    settingUpRecording: false,
  };
  private readonly listeners = new Set<() => void>();
  private unsubscribe: (() => void) | undefined;

  constructor(private readonly api: QuillmerPageAPI, private readonly now: () => number = Date.now) {}

  /**
   * Calls `listener` on every change. A view subscribes only after it has rendered, and a native
   * reply can land in between; given the state it rendered with, a subscriber that is already
   * behind is called at once instead of waiting for a change that may never come.
   */
  subscribe(listener: () => void, rendered?: AppState): () => void {
    this.listeners.add(listener);
    if (rendered !== undefined && rendered !== this.state) listener();
    return () => this.listeners.delete(listener);
  }

  private update(patch: Partial<AppState>): void {
    this.state = { ...this.state, ...patch };
    for (const l of [...this.listeners]) l();
  }

  /** Every call goes through here: unsupported calls are remembered, the rest reported as results. */
  async call<T = unknown>(pageCall: string, args: unknown[] = []): Promise<CallResult<T>> {
    this.update({ pending: new Set(this.state.pending).add(pageCall) });
    try {
      const value = (await invoke(this.api, pageCall, args)) as T;
      return { ok: true, value };
    } catch (error) {
      const unsupported = isUnsupported(error);
      if (unsupported && !this.state.unsupported.has(pageCall))
        this.update({ unsupported: new Set(this.state.unsupported).add(pageCall) });
      return { ok: false, error: messageOf(error), unsupported };
    } finally {
      const pending = new Set(this.state.pending);
      pending.delete(pageCall);
      this.update({ pending });
    }
  }

  isPending = (pageCall: string): boolean => this.state.pending.has(pageCall);
  isUnsupported = (pageCall: string): boolean => this.state.unsupported.has(pageCall);

  /** Takes a snapshot from a push or a reply. A change of meeting drops the old meeting's review. */
  applySnapshot(raw: unknown): void {
    const snapshot = readSnapshot(raw);
    const previous = this.state.snapshot;
    const patch: Partial<AppState> = { snapshot };
    if (previous && previous.sessionName !== snapshot.sessionName) {
      patch.bundle = undefined;
      patch.awaitingApproval = false;
    }
    if (snapshot.stage === 'recording') {
      patch.recordingSince = this.state.recordingSince ?? this.now();
      patch.settingUpRecording = false;
    } else patch.recordingSince = undefined;
    this.update(patch);
  }

  private showBundle(raw: unknown): void {
    const bundle = readBundle(raw);
    if (bundle) this.update({ bundle });
  }

  notify(notice: Notice | undefined): void {
    this.update({ notice });
  }

  private report(result: CallResult, quietWhenUnsupported = false): void {
    if (result.ok) return;
    if (result.unsupported && quietWhenUnsupported) return;
    this.notify({ kind: 'error', text: result.error });
  }

  /** Runs a call whose answer is a state snapshot. */
  private async stateCall(pageCall: string, args: unknown[] = []): Promise<boolean> {
    const result = await this.call(pageCall, args);
    if (result.ok) this.applySnapshot(result.value);
    else this.report(result);
    return result.ok;
  }

  async start(): Promise<void> {
    const listen = (this.api.capture as Record<string, unknown> | undefined)?.onState;
    if (typeof listen === 'function') {
      const off = listen((state: unknown) => this.applySnapshot(state));
      this.unsubscribe = typeof off === 'function' ? (off as () => void) : undefined;
    }
    const restored = await this.call('capture.restore');
    if (restored.ok) {
      const { state, bundle } = readRestore(restored.value);
      this.applySnapshot(state);
      if (bundle) this.update({ bundle });
      return;
    }
    const state = await this.call('capture.getState');
    if (state.ok) this.applySnapshot(state.value);
    else this.report(state);
  }

  stop(): void {
    this.unsubscribe?.();
  }

  async openSession(id: string): Promise<void> {
    this.update({ settingUpRecording: false, notice: undefined });
    const result = await this.call('capture.restore', [id]);
    if (!result.ok) return this.report(result);
    const { state, bundle } = readRestore(result.value);
    this.applySnapshot(state);
    this.update({ bundle, awaitingApproval: false });
  }

  async refreshBundle(): Promise<void> {
    const result = await this.call('capture.restore');
    if (!result.ok) return this.report(result);
    const { state, bundle } = readRestore(result.value);
    this.applySnapshot(state);
    if (bundle) this.update({ bundle });
  }

  deleteSession = (id: string) => this.stateCall('capture.deleteSession', [id]);
  newSession = async () => {
    this.update({ bundle: undefined, awaitingApproval: false, settingUpRecording: false });
    return this.stateCall('capture.newSession');
  };
  importRecording = () => this.stateCall('capture.importRecording');
  importTranscript = () => this.stateCall('capture.importTranscript');
  acknowledgeDisclosure = () => this.stateCall('consent.acknowledgeDisclosure', [DISCLOSURE_VERSION]);
  setStandingConsent = (standing: boolean) => this.stateCall('consent.setStandingRecordingConsent', [standing]);
  setRemoteTranscription = (enabled: boolean) => this.stateCall('consent.setRemoteTranscription', [enabled]);
  cancel = () => this.stateCall('capture.cancel');
  connectCloud = () => this.stateCall('capture.connectCloud');
  syncCloud = () => this.stateCall('capture.syncCloud');
  setUpdatesEnabled = (enabled: boolean) => this.stateCall('updates.setEnabled', [enabled]);
  openDownload = () => this.stateCall('updates.openDownload');

  setUpRecording(on: boolean): void {
    this.update({ settingUpRecording: on, notice: undefined });
  }

  async startRecording(sourceID: string, participantsInformed: boolean, standing: boolean): Promise<boolean> {
    const affirmation = makeAffirmation(participantsInformed, standing, new Date(this.now()));
    return this.stateCall('capture.start', [sourceID, affirmation]);
  }

  async stopRecording(): Promise<boolean> {
    return this.stateCall('capture.stop');
  }

  /**
   * Runs the remaining steps. Waiting for an analysis decision is an expected end: the exported
   * evidence is fetched and shown, with the decision offered beside it.
   */
  async process(pageCall: 'capture.process' | 'capture.retry' = 'capture.process'): Promise<void> {
    this.update({ notice: undefined });
    const result = await this.call(pageCall);
    if (result.ok) {
      this.showBundle(result.value);
      this.update({ awaitingApproval: false });
      return;
    }
    if (isAwaitingApproval(new Error(result.error))) {
      this.update({ awaitingApproval: true });
      await this.refreshBundle();
      return;
    }
    // A stage failure is already in the snapshot (stage "failed"); say other failures here.
    if (this.state.snapshot?.stage !== 'failed' && this.state.snapshot?.error !== result.error)
      this.report(result);
  }

  async approveAnalysis(passes: string[]): Promise<void> {
    const sessionID = this.state.snapshot?.sessionName ?? this.state.bundle?.evidence.session.id;
    if (!sessionID) return;
    if (await this.stateCall('analysis.approve', [{ sessionID, passes }])) await this.process();
  }

  async declineAnalysis(): Promise<void> {
    if (await this.stateCall('analysis.decline')) await this.process();
  }

  async openEvidence(): Promise<void> {
    const result = await this.call('evidence.open');
    if (!result.ok) return this.report(result);
    if (result.value !== undefined) this.showBundle(result.value);
  }

  async refreshSummary(bundleID: string): Promise<void> {
    const result = await this.call('summary.refresh', [bundleID]);
    if (!result.ok) return this.report(result, true);
    const summary = readSummary(result.value);
    if (summary && this.state.bundle?.id === bundleID) this.update({ bundle: { ...this.state.bundle, summary } });
  }

  async copyText(text: string): Promise<void> {
    const result = await this.call('review.copyText', [text]);
    if (result.ok) this.notify({ kind: 'info', text: 'Copied.' });
    else this.report(result);
  }

  async exportDiagnostics(): Promise<void> {
    const result = await this.call('diagnostics.exportBundle');
    if (result.ok && result.value === true) this.notify({ kind: 'info', text: 'Diagnostics saved.' });
    else this.report(result);
  }
}
