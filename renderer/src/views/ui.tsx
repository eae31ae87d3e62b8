// Small shared pieces: buttons, progress, switches, confirmation.
import type { ComponentChildren } from 'preact';
import { useEffect, useRef } from 'preact/hooks';

type ButtonProps = {
  kind?: 'primary' | 'secondary' | 'quiet' | 'danger' | 'record';
  busy?: boolean;
  disabled?: boolean;
  onClick?: () => void;
  children: ComponentChildren;
  title?: string;
  type?: 'button' | 'submit';
  class?: string;
  'aria-label'?: string;
};

export function Button({ kind = 'secondary', busy, disabled, onClick, children, title, type = 'button', ...rest }: ButtonProps) {
  return (
    <button
      type={type}
      class={`button ${kind} ${rest.class ?? ''}`}
      disabled={disabled || busy}
      aria-busy={busy ? 'true' : undefined}
      aria-label={rest['aria-label']}
      title={title}
      onClick={onClick}
    >
      {busy && <span class="spinner" aria-hidden="true" />}
      {children}
    </button>
  );
}

/** A determinate bar when the amount is known, a calm sweeping one when it is not. */
export function ProgressBar({ value, label }: { value: number | undefined; label: string }) {
  const known = value !== undefined;
  return (
    <div
      class={`progress ${known ? '' : 'indeterminate'}`}
      role="progressbar"
      aria-label={label}
      aria-valuemin={0}
      aria-valuemax={100}
      aria-valuenow={known ? Math.round(value * 100) : undefined}
    >
      <div class="progress-fill" style={known ? { width: `${Math.round(value * 100)}%` } : undefined} />
    </div>
  );
}

export function Switch(props: { checked: boolean; label: ComponentChildren; hint?: ComponentChildren; disabled?: boolean; onChange: (on: boolean) => void }) {
  return (
    <label class={`switch ${props.disabled ? 'disabled' : ''}`}>
      <input type="checkbox" role="switch" checked={props.checked} disabled={props.disabled}
        onChange={(e) => props.onChange((e.currentTarget as HTMLInputElement).checked)} />
      <span class="switch-track" aria-hidden="true"><span class="switch-thumb" /></span>
      <span class="switch-text">
        <span>{props.label}</span>
        {props.hint && <span class="hint">{props.hint}</span>}
      </span>
    </label>
  );
}

/** A modal question with the native dialog element: focus stays inside and Escape cancels. */
export function ConfirmDialog(props: {
  open: boolean;
  title: string;
  body: ComponentChildren;
  confirmLabel: string;
  danger?: boolean;
  onConfirm: () => void;
  onCancel: () => void;
}) {
  const ref = useRef<HTMLDialogElement>(null);
  useEffect(() => {
    const dialog = ref.current;
    if (!dialog) return;
    if (props.open && !dialog.open) dialog.showModal?.();
    if (!props.open && dialog.open) dialog.close();
  }, [props.open]);
  return (
    <dialog ref={ref} class="dialog" aria-labelledby="dialog-title" onCancel={(e) => { e.preventDefault(); props.onCancel(); }}>
      <h2 id="dialog-title">{props.title}</h2>
      <div class="dialog-body">{props.body}</div>
      <div class="dialog-actions">
        <Button kind="quiet" onClick={props.onCancel}>Cancel</Button>
        <Button kind={props.danger ? 'danger' : 'primary'} onClick={props.onConfirm}>{props.confirmLabel}</Button>
      </div>
    </dialog>
  );
}

export function EmptyState({ title, children }: { title: string; children?: ComponentChildren }) {
  return (
    <div class="empty">
      <p class="empty-title">{title}</p>
      {children && <p class="empty-text">{children}</p>}
    </div>
  );
}
