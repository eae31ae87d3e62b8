import { render } from 'preact';
import { assetURLFor, connectBridge } from './bridge';
import { Controller } from './controller';
import { App, NoBridge } from './views/App';
import { ControllerContext } from './views/context';
import './styles.css';

const root = document.getElementById('app')!;
const bridge = connectBridge();
if (!bridge) {
  render(<NoBridge />, root);
} else {
  const controller = new Controller(bridge.api);
  render(
    <ControllerContext.Provider value={controller}>
      <App assetURL={(url) => assetURLFor(url, bridge.overHttp)} />
    </ControllerContext.Provider>,
    root,
  );
  void controller.start();
}
