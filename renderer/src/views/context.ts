import { createContext } from 'preact';
import { useContext, useEffect, useState } from 'preact/hooks';
import type { AppState, Controller } from '../controller';

export const ControllerContext = createContext<Controller | undefined>(undefined);

export function useController(): Controller {
  const controller = useContext(ControllerContext);
  if (!controller) throw new Error('The page has no controller.');
  return controller;
}

/** The controller's state, re-rendering on every change. */
export function useAppState(): AppState {
  const controller = useController();
  const [state, setState] = useState(controller.state);
  useEffect(() => controller.subscribe(() => setState(controller.state), state), [controller]);
  return state;
}
