// The coding agents that read Quillmer's exported meetings through its MCP server: each one's
// state and a button that connects (or repairs) it.
import { useEffect, useState } from 'preact/hooks';
import { readIntegrations } from '../parse';
import type { IntegrationStatus } from '../types';
import { Button } from './ui';
import { useController } from './context';

const CLIENTS: Array<{ id: string; name: string }> = [
  { id: 'codex', name: 'Codex' },
  { id: 'claudeCode', name: 'Claude Code' },
];

export function Integrations() {
  const controller = useController();
  const [status, setStatus] = useState<IntegrationStatus | undefined>();
  const load = async () => {
    const result = await controller.call('integrations.status');
    if (result.ok) setStatus(readIntegrations(result.value));
  };
  useEffect(() => void load(), []);
  if (!status) return null;  // a native side without the connector: nothing to offer
  if (!status.available) {
    return <p class="integrations muted small">Quillmer's coding-agent connector is missing from this build.</p>;
  }
  const connect = async (client: { id: string; name: string }) => {
    const result = await controller.call<{ message?: string }>('integrations.install', [client.id]);
    if (result.ok) controller.notify({ kind: 'info', text: result.value?.message ?? `${client.name} is connected.` });
    else controller.notify({ kind: 'error', text: result.error });
    await load();
  };
  return (
    <div class="integrations" aria-label="Coding agents">
      <span class="muted small">Coding agents</span>
      {CLIENTS.map((c) => {
        if (status.connectedClients.includes(c.id)) return <span key={c.id} class="pill ok">✓ {c.name} connected</span>;
        const repairable = status.repairableClients.includes(c.id);
        const missing = status.unavailableClients.includes(c.id);
        return (
          <span key={c.id} class="integration">
            {(repairable || missing) && (
              <span class={`pill${repairable ? ' warn' : ''}`}>{c.name} {repairable ? 'needs repair' : 'is not installed'}</span>
            )}
            <Button kind="quiet" busy={controller.isPending('integrations.install')} onClick={() => connect(c)}>
              {repairable ? `Repair ${c.name}` : `Connect ${c.name}`}
            </Button>
          </span>
        );
      })}
    </div>
  );
}
